#include "LumoBase/LumoResult.h"

const char* LumoResultText(int code) {
    switch (code) {
        case LUMO_OK:
            return "success";
        case LUMO_ERR_FAIL:
            return "failed";
        case LUMO_ERR_NOMORE:
            return "nothing more";
        case LUMO_ERR_PARAM:
            return "bad argument or handle";
        case LUMO_ERR_STATE:
            return "not possible in this state";
        case LUMO_ERR_BADPARAM:
            return "bad search criteria";
        case LUMO_ERR_NOTFOUND:
            return "not found";
        case LUMO_ERR_EMPTY:
            return "the file is empty";
        case LUMO_ERR_FORMAT:
            return "not a readable media file";
        case LUMO_ERR_NOVIDEO:
            return "no stream that can be decoded";
        case LUMO_ERR_TIMEOUT:
            return "timed out";
        case LUMO_ERR_CONNECT:
            return "source unreachable";
        case LUMO_ERR_IO:
            return "read error";
        case LUMO_ERR_UNSUPPORTED:
            return "not supported";
        case LUMO_ERR_WRITE:
            return "cannot write the target";
        case LUMO_ERR_NOFRAME:
            return "no picture yet";
        case LUMO_ERR_DISKFULL:
            return "disk full";
        case LUMO_ERR_BIND:
            return "the port cannot be bound";
        case LUMO_ERR_REFUSED:
            return "refused to protect data";
        case LUMO_ERR_EXISTS:
            return "already present";
        default:
            return "unknown error";
    }
}
