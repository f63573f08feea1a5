#include "player/playfile.h"

#include <QDir>
#include <QFile>
#include <QUrl>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "LumoBase/LumoResult.h"
#include "LumoFS/LumoRecordAddress.h"
#include "LumoFS/LumoStreamUrl.h"
#include "VantelCore/urlmask.h"

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

}  // namespace

void CLumoFile::SetUrl(const std::string& newUrl) {
    url = newUrl;
    name.clear();
    path.clear();
    format.clear();
    type = TYPE_UNKNOWN;

    LumoRecordAddress address;
    if (LumoRecordAddress::Parse(url, &address)) {
        if (address.GetScheme() == LumoRecordAddress::SCHEME_LUMOFS && address.Has("disk") &&
            !address.Get("filename").empty()) {
            // Recorder files are named a_b_c_channel_stream_f: the channel and stream come from
            // the name; they keep their values when it reads otherwise.
            std::string fileName = address.Get("filename");
            const size_t slash = fileName.find_last_of('/');
            if (slash != std::string::npos) fileName = fileName.substr(slash + 1);
            int n[6];
            if (std::sscanf(fileName.c_str(), "%d_%d_%d_%d_%d_%d", &n[0], &n[1], &n[2], &n[3], &n[4],
                            &n[5]) == 6) {
                channel = n[3];
                stream = n[4];
            } else if (std::sscanf(fileName.c_str(), "c%d_s%d_", &n[0], &n[1]) == 2 && n[0] >= 1) {
                // The recording engine's own names: cCC_sS_..., the channel counted from 1.
                channel = n[0] - 1;
                stream = n[1];
            }
            LumoRecordAddress display(LumoRecordAddress::SCHEME_LUMOFS, std::string());
            display.Set("disk", address.Get("disk"));
            display.Set("idc", std::to_string(channel + 1));
            display.Set("ids", std::to_string(stream + 1));
            name = display.Build();
            path = url;
            format = "lumofs";
            type = TYPE_DISK;
            flags |= FLAG_DISK;
            return;
        }
        if (address.GetScheme() == LumoRecordAddress::SCHEME_FILER && address.Get("type") == "rec") {
            const std::string filePath = address.Get("filename");
            // Only an absolute path names one file whatever the working folder.
            if (filePath.empty() || filePath[0] != '/') return;
            path = filePath;
            name = filePath.substr(filePath.find_last_of('/') + 1);
            const std::string fileFormat = address.Get("format");
            if (!fileFormat.empty() && fileFormat.size() <= 15) {
                format = Lower(fileFormat);
                type = TYPE_LOCAL;
                flags |= FLAG_LOCAL_FORMAT;
            }
        }
        return;
    }
    if (LumoIsStreamUrl(url)) {
        // The name is what the play list and the file labels show: never the password.
        name = VantelMaskUrl(url);
        format = "quii";
        type = TYPE_STREAM;
    }
}

int CLumoFile::SetFromDesc(const CLumoFileDesc* desc) {
    if (!desc) return LUMO_ERR_PARAM;
    flags |= FLAG_MADE;
    SetUrl(desc->GetURI());
    timeS = desc->GetTimeS();
    timeE = desc->GetTimeE();
    length = desc->GetSize();
    width = desc->GetWidth();
    height = desc->GetHeight();
    videoCodec = desc->GetVideoCodec();
    audioCodec = desc->GetAudioCodec();
    frameRate = desc->GetFrameRate();
    descAttribute = desc->GetAttribute();
    return LUMO_OK;
}

int CLumoFile::ToDesc(CLumoFileDesc* desc) const {
    if (!desc) return LUMO_ERR_FAIL;
    desc->SetURI(url.c_str());
    desc->SetTimeS(timeS);
    desc->SetTimeE(timeE);
    desc->SetSize(length);
    desc->SetAttribute(descAttribute);
    return LUMO_OK;
}

void CLumoFile::CopyFrom(const CLumoFile& other) {
    url = other.url;
    name = other.name;
    path = other.path;
    format = other.format;
    timeS = other.timeS;
    timeE = other.timeE;
    width = other.width;
    height = other.height;
    videoCodec = other.videoCodec;
    audioCodec = other.audioCodec;
    frameRate = other.frameRate;
    length = other.length;
    stream = other.stream;
    channel = other.channel;
    descAttribute = other.descAttribute;
    type = other.type;
    flags = other.flags;
}

CLumoPlayFileList::CLumoPlayFileList(const std::string& name, uint32_t maxCount, bool allowDuplicates)
    : m_name(name),
      m_maxCount(maxCount == 0 || maxCount > 65535 ? 65535 : maxCount),
      m_allowDuplicates(allowDuplicates),
      m_nodes(16, false, Nodes::FREE_NONE, "CLumoFile") {}

CLumoPlayFileList::~CLumoPlayFileList() {
    RemoveAll();
}

CLumoFile* CLumoPlayFileList::GetAt(int i) const {
    if (i < 0) return nullptr;
    const Nodes::Node* n = m_nodes.NodeAt(static_cast<uint32_t>(i));
    return n ? n->item : nullptr;
}

bool CLumoPlayFileList::Holds(const CLumoFile* file) const {
    return file && file->m_list == this && file->m_node && file->m_node->item == file;
}

int CLumoPlayFileList::AddTail(std::unique_ptr<CLumoFile>& file) {
    if (!file) return LUMO_ERR_PARAM;
    if (file->m_list) return LUMO_ERR_FAIL;
    Nodes::Node* node = m_nodes.AddTail(file.get());
    if (!node) return LUMO_ERR_FAIL;  // no memory for a node: the caller keeps the file
    CLumoFile* raw = file.release();
    raw->m_list = this;
    raw->m_node = node;
    return LUMO_OK;
}

std::unique_ptr<CLumoFile> CLumoPlayFileList::Remove(CLumoFile* file) {
    if (!Holds(file)) return nullptr;
    m_nodes.Unlink(file->m_node);
    file->m_list = nullptr;
    file->m_node = nullptr;
    return std::unique_ptr<CLumoFile>(file);
}

int CLumoPlayFileList::Delete(CLumoFile* file) {
    if (!file) return LUMO_OK;
    return Remove(file) ? LUMO_OK : LUMO_ERR_FAIL;
}

void CLumoPlayFileList::RemoveAll() {
    while (Nodes::Node* head = m_nodes.GetHeadNode()) {
        CLumoFile* file = head->item;
        head->item = nullptr;
        m_nodes.Unlink(head);
        if (file) {
            file->m_list = nullptr;
            file->m_node = nullptr;
            delete file;
        }
    }
}

CLumoFile* CLumoPlayFileList::Find(const std::string& url) const {
    for (const Nodes::Node* n = m_nodes.GetHeadNode(); n; n = n->next)
        if (n->item && n->item->url == url) return n->item;
    return nullptr;
}

CLumoFile* CLumoPlayFileList::FindAddress(const std::string& url) const {
    if (CLumoFile* exact = Find(url)) return exact;
    if (url.find("\xEF\xBF\xBD") == std::string::npos) return nullptr;
    CLumoFile* found = nullptr;
    for (const Nodes::Node* n = m_nodes.GetHeadNode(); n; n = n->next) {
        if (!n->item || QString::fromStdString(n->item->url).toStdString() != url) continue;
        if (found) return nullptr;
        found = n->item;
    }
    return found;
}

CLumoFile* CLumoPlayFileList::GetNext(const CLumoFile* file) const {
    if (!Holds(file)) return nullptr;
    return file->m_node->next ? file->m_node->next->item : nullptr;
}

int CLumoPlayFileList::AddFromDesc(const CLumoFileDesc* desc, CLumoFile** added) {
    if (added) *added = nullptr;
    if (!desc) return LUMO_ERR_FAIL;
    auto file = std::make_unique<CLumoFile>();
    file->SetFromDesc(desc);
    CLumoFile* raw = file.get();
    AddTail(file);
    if (added) *added = raw;
    return LUMO_OK;
}

int CLumoPlayFileList::AddFromDescList(CLumoFileDescList* descs, std::vector<CLumoFile*>* added) {
    if (!descs) return LUMO_ERR_PARAM;
    if (!m_allowDuplicates) DropListedDescs(descs);
    for (const CLumoFileDesc* desc : *descs) {
        // A list may repeat an address within itself, too.
        if (!m_allowDuplicates && Find(desc->GetURI())) continue;
        CLumoFile* file = nullptr;
        AddFromDesc(desc, &file);
        if (added) added->push_back(file);
    }
    return LUMO_OK;
}

int CLumoPlayFileList::AddFromList(CLumoPlayFileList* other, std::vector<CLumoFile*>* added) {
    if (!other) return LUMO_ERR_PARAM;
    if (!m_allowDuplicates) DropListedFiles(other);
    for (const Nodes::Node* n = other->m_nodes.GetHeadNode(); n; n = n->next) {
        const CLumoFile* source = n->item;
        if (!source || (!m_allowDuplicates && Find(source->url))) continue;
        auto file = std::make_unique<CLumoFile>();
        file->CopyFrom(*source);
        CLumoFile* raw = file.get();
        AddTail(file);
        if (added) added->push_back(raw);
    }
    return LUMO_OK;
}

void CLumoPlayFileList::DropListedDescs(CLumoFileDescList* descs) const {
    if (!descs || IsEmpty()) return;
    std::vector<CLumoFileDesc*> listed;
    for (CLumoFileDesc* desc : *descs)
        if (Find(desc->GetURI())) listed.push_back(desc);
    for (CLumoFileDesc* desc : listed) descs->Del(desc);
}

void CLumoPlayFileList::DropListedFiles(CLumoPlayFileList* other) const {
    if (!other || other == this || IsEmpty()) return;
    std::vector<CLumoFile*> listed;
    for (const Nodes::Node* n = other->m_nodes.GetHeadNode(); n; n = n->next)
        if (n->item && Find(n->item->url)) listed.push_back(n->item);
    for (CLumoFile* f : listed) other->Delete(f);
}

CLumoFile* CLumoPlayFileList::AddAndPick(CLumoFileDescList* descs, std::vector<CLumoFile*>* added) {
    if (!descs || descs->IsEmpty()) return nullptr;
    const std::string first = descs->GetHead()->GetURI();
    AddFromDescList(descs, added);
    return Find(first);
}

namespace {

// The working folder's bytes (QDir::currentPath() loses those that are not UTF-8).
QByteArray CurrentFolder() {
    char* cwd = ::getcwd(nullptr, 0);
    if (!cwd) return QFile::encodeName(QDir::currentPath());
    const QByteArray bytes(cwd);
    std::free(cwd);
    return bytes;
}

QByteArray Absolute(const QByteArray& path, const QString& baseDir) {
    if (path.startsWith('/')) return path;
    const QString base = baseDir.isEmpty() ? QDir::currentPath() : QDir(baseDir).absolutePath();
    const QByteArray bytes = base == QDir::currentPath() ? CurrentFolder() : QFile::encodeName(base);
    return bytes + (bytes.endsWith('/') ? "" : "/") + path;
}

// Cleans "." and ".." out of a path of bytes: through Latin-1, which maps every byte to one
// character and back, so no byte is lost.
QByteArray CleanBytes(const QByteArray& path) {
    return QDir::cleanPath(QString::fromLatin1(path)).toLatin1();
}

bool Exists(const QByteArray& path) {
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

// The names in a folder, as bytes.
QList<QByteArray> FolderNames(const QByteArray& folder) {
    QList<QByteArray> names;
    DIR* dir = ::opendir(folder.isEmpty() ? "/" : folder.constData());
    if (!dir) return names;
    while (const dirent* e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name != "." && name != "..") names.append(name);
    }
    ::closedir(dir);
    return names;
}

// A path whose bytes were lost in a QString: each part that is not there is looked up in its
// folder by the way its name reads; the path is taken only when every such part reads as one
// name alone.
QByteArray FindLostBytes(const QString& absolute) {
    const QStringList parts = absolute.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QByteArray found;
    for (const QString& part : parts) {
        const QByteArray direct = found + '/' + QFile::encodeName(part);
        if (Exists(direct)) {
            found = direct;
            continue;
        }
        QByteArray match;
        int matches = 0;
        for (const QByteArray& name : FolderNames(found))
            if (QFile::decodeName(name) == part) {
                match = name;
                ++matches;
            }
        if (matches != 1) return QByteArray();
        found += '/' + match;
    }
    return found;
}

}  // namespace

QByteArray NativePath(const QString& pathOrUrl, const QString& baseDir) {
    if (pathOrUrl.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        // The escapes of an URL hold any byte; a character written as it is stands for its UTF-8.
        const QUrl url(pathOrUrl);
        if (!url.isLocalFile()) return QByteArray();
        return Absolute(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()), baseDir);
    }
    if (pathOrUrl.isEmpty()) return QByteArray();
    const QByteArray path = Absolute(QFile::encodeName(pathOrUrl), baseDir);
    if (Exists(path) || !pathOrUrl.contains(QChar(QChar::ReplacementCharacter))) return path;
    const QByteArray found = FindLostBytes(QDir::cleanPath(QFile::decodeName(path)));
    return found.isEmpty() ? path : found;
}

QString NativeFileUrl(const QByteArray& path) {
    return QStringLiteral("file://") + QString::fromLatin1(path.toPercentEncoding("/"));
}

QList<QByteArray> NativeFolderFiles(const QByteArray& folder, bool subFolders, bool followLinks,
                                    bool (*accepted)(const QString& suffix)) {
    QList<QByteArray> out;
    for (const QByteArray& name : FolderNames(folder)) {
        if (name.startsWith('.')) continue;  // hidden, as a file manager has it
        const QByteArray path = folder + (folder.endsWith('/') ? "" : "/") + name;
        struct stat st;
        if (::lstat(path.constData(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            if (subFolders) out += NativeFolderFiles(path, true, followLinks, accepted);
            continue;
        }
        if (S_ISLNK(st.st_mode) &&
            (!followLinks || ::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode)))
            continue;
        if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) continue;
        const int dot = name.lastIndexOf('.');
        if (dot < 0 || !accepted(QString::fromLatin1(name.mid(dot + 1)))) continue;
        out.append(path);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string LocalRecordUrl(const QByteArray& nativePath) {
    if (nativePath.isEmpty()) return std::string();
    QByteArray path;
    const QByteArray absolute = Absolute(nativePath, QString());
    if (char* real = ::realpath(absolute.constData(), nullptr)) {
        path = QByteArray(real);
        std::free(real);
    } else {
        path = CleanBytes(absolute);
    }
    const int slash = path.lastIndexOf('/');
    const int dot = path.lastIndexOf('.');
    const QByteArray suffix = dot > slash ? path.mid(dot + 1).toLower() : QByteArray();
    return LumoRecordAddress::ReadFile(suffix.toStdString(), path.toStdString()).Build();
}

std::string LocalRecordUrl(const QString& pathOrUrl, const QString& baseDir) {
    return LocalRecordUrl(NativePath(pathOrUrl, baseDir));
}
