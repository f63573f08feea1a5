#include "LumoFS/LumoFS.h"

#include <algorithm>
#include <cstring>

void CLumoFileDesc::Setup(const tag_LUMOFILEAVINFO* info) {
    if (!info) return;
    m_timeS = CLumoTime(info->timeStart, info->msStart);
    m_timeE = CLumoTime(info->timeEnd, info->msEnd);
    m_vcodec = info->videoCodec;
    m_acodec = info->audioCodec;
    m_width = info->width;
    m_height = info->height;
    m_frameRate = info->frameRate ? info->frameRate : -1;
    m_size = info->size64 ? info->size64 : info->size;
    m_recordType = info->recordType;
    m_channel = info->channel;
    m_streamType = info->stream;
    m_cuid.assign(info->cuid, strnlen(info->cuid, sizeof info->cuid));
    m_disk = info->disk;
    m_block = info->block;
    m_fileIndex = info->fileIndex;
}

void CLumoFileDesc::ToAVInfo(tag_LUMOFILEAVINFO* info) const {
    if (!info) return;
    std::memset(info, 0, sizeof *info);
    info->fileIndex = static_cast<uint16_t>(m_fileIndex < 0 ? 0 : m_fileIndex);
    info->stream = static_cast<uint8_t>(m_streamType);
    info->channel = static_cast<uint8_t>(m_channel);
    info->block = static_cast<uint16_t>(m_block < 0 ? 0 : m_block);
    info->disk = static_cast<uint8_t>(m_disk < 0 ? 0 : m_disk);
    info->videoCodec = m_vcodec;
    info->audioCodec = m_acodec;
    info->width = m_width;
    info->height = m_height;
    info->frameRate = static_cast<uint16_t>(m_frameRate > 0 ? m_frameRate : 0);
    info->timeStart = m_timeS.ToPacked();
    info->timeEnd = m_timeE.ToPacked();
    info->msStart = static_cast<uint16_t>(m_timeS.GetMS());
    info->msEnd = static_cast<uint16_t>(m_timeE.GetMS());
    info->size = m_size > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(m_size);
    info->size64 = m_size;
    info->recordType = static_cast<uint16_t>(m_recordType);
    std::strncpy(info->cuid, m_cuid.c_str(), sizeof info->cuid - 1);
}

CLumoFileDescList::CLumoFileDescList(const CLumoFileDescList& o) : m_owning(true) {
    for (const CLumoFileDesc* d : o.m_items) m_items.push_back(new CLumoFileDesc(*d));
}

CLumoFileDescList& CLumoFileDescList::operator=(const CLumoFileDescList& o) {
    if (this == &o) return *this;
    Clear();
    m_owning = true;
    for (const CLumoFileDesc* d : o.m_items) m_items.push_back(new CLumoFileDesc(*d));
    return *this;
}

void CLumoFileDescList::Append(CLumoFileDesc* desc) {
    if (desc) m_items.push_back(desc);
}

int CLumoFileDescList::Del(CLumoFileDesc* desc) {
    auto it = std::find(m_items.begin(), m_items.end(), desc);
    if (it == m_items.end()) return -1;
    m_items.erase(it);
    if (m_owning) delete desc;
    return 0;
}

void CLumoFileDescList::Clear() {
    if (m_owning)
        for (CLumoFileDesc* d : m_items) delete d;
    m_items.clear();
}

uint64_t CLumoFileDescList::GetTotalSize() const {
    uint64_t total = 0;
    for (const CLumoFileDesc* d : m_items) total += d->GetSize();
    return total;
}
