// Named shared memory between processes of the same user: the consoles' command channel.
// A handle is an opaque pointer; null is an invalid handle, and every call on it fails.
//
// A block's scope is the user and the machine (see singleapp.h): its key and lock files live in
// the user's private folder /tmp/vantel-<uid>, whatever $TMPDIR or $XDG_RUNTIME_DIR say, so a
// writer started with other environment folders reaches the same block.
#pragma once

typedef void* SHAREMEMHANDLE;

enum { SHAREMEM_DEFAULT_SIZE = 1024 };

// Opens the block of that name, or creates it (size bytes, zero-filled) when `create` is non-zero
// and it does not exist yet. Returns null on failure (also for a name holding '/', and when the
// user's folder cannot be used).
SHAREMEMHANDLE ShareMemoryCreate(const char* name, int create, int size = SHAREMEM_DEFAULT_SIZE);
// Copies min(size, block size) bytes from the start of the block into buffer. `lock` non-zero
// holds the block's lock while copying. 0, or -1 (null handle, no buffer, size <= 0).
int ShareMemoryRead(SHAREMEMHANDLE handle, int lock, void* buffer, int size);
// Replaces the start of the block with `length` bytes of data. blockSize is the size the caller
// expects the block to have: a length beyond it, or beyond the block's real size, is refused
// (-1) and nothing is written. 0 on success.
int ShareMemoryWrite(SHAREMEMHANDLE handle, int blockSize, int lock, const void* data, int length);
// The block's size in bytes, or -1.
int ShareMemorySize(SHAREMEMHANDLE handle);
// Closes the handle (the block disappears with its last handle). 0, or -1 for a null handle.
int ShareMemoryDelete(SHAREMEMHANDLE handle);
