// Recorder-disk search (LumoMediaSearch on a mounted recorder disk) over a disk of 100 000 empty
// record files laid out as the recording engine lays out its disks: 64 channels of the main
// stream, one block each, a 10-minute file after another. Reports the time of one day of one
// channel and of all 64 channels over a week (median of the runs).
//
//   bench_disksearch [folder] [runs]   the disk is made under folder (default: the temporary
//                                      folder) and removed afterwards
#include <fcntl.h>
#include <ftw.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "LumoCore/LumoCore.h"

namespace {

const int kChannels = 64;
const int kFiles = 100000;
const int kFileMinutes = 10;

CLumoTime Day(int offsetDays) {
    CLumoTime t;
    t.SetYear(2024);
    t.SetMonth(5);
    t.SetDay(1);
    t.Add(int64_t(offsetDays) * 86400 * 1000);
    return t;
}

bool MakeDisk(const std::string& root) {
    if (::mkdir(root.c_str(), 0755) != 0) return false;
    int fd = ::open((root + "/" LUMO_RECORDER_DISK_MARK).c_str(), O_CREAT | O_WRONLY, 0644);
    if (fd < 0) return false;
    ::close(fd);
    const int perChannel = kFiles / kChannels + 1;
    int made = 0;
    for (int c = 1; c <= kChannels && made < kFiles; ++c) {
        char block[32];
        std::snprintf(block, sizeof block, "/blk%05d", c);
        const std::string dir = root + block;
        if (::mkdir(dir.c_str(), 0755) != 0) return false;
        CLumoTime t = Day(0);
        for (int i = 0; i < perChannel && made < kFiles; ++i, ++made) {
            char name[96];
            std::snprintf(name, sizeof name, "/c%02d_s0_r0_%04d%02d%02d_%02d%02d%02d.dav", c, t.GetYear(),
                          t.GetMonth(), t.GetDay(), t.GetHour(), t.GetMinute(), t.GetSecond());
            fd = ::open((dir + name).c_str(), O_CREAT | O_WRONLY, 0644);
            if (fd < 0) return false;
            ::close(fd);
            t.Add(int64_t(kFileMinutes) * 60 * 1000);
        }
    }
    return true;
}

// Milliseconds of each run; the files found in the last.
std::vector<double> Time(const std::string& disk, uint64_t mask, int days, int runs, int* found) {
    std::vector<double> ms;
    for (int r = 0; r < runs; ++r) {
        ILumoFSSearchParam p(1);
        p.SetTimeS(Day(2));
        CLumoTime end = Day(2 + days);
        end.Add(-1000);
        p.SetTimeE(end);
        p.SetChannelMask(0, mask);
        p.SetChannelMask(1, mask);
        CLumoFileDescList list(1);
        const auto t0 = std::chrono::steady_clock::now();
        const int rc = LumoMediaSearch(disk.c_str(), &p, &list, 0, 0, 0);
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        *found = rc == 0 ? list.GetCount() : rc;
    }
    return ms;
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    return ::remove(path);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string base = argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp");
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::string root = base + "/bench-recorder-disk-XXXXXX";
    if (!::mkdtemp(&root[0])) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string disk = root + "/disk";
    const auto t0 = std::chrono::steady_clock::now();
    if (!MakeDisk(disk)) {
        std::perror("making the disk");
        return 1;
    }
    std::printf("disk of %d record files in %d blocks made in %.0f ms\n", kFiles, kChannels,
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    int found = 0;
    std::vector<double> one = Time(disk, 1, 1, runs, &found);
    std::printf("one channel, one day:      %8.1f ms median of %d (%.1f first), %d files\n", Median(one), runs,
                one.front(), found);
    std::vector<double> all = Time(disk, ~uint64_t(0), 7, runs, &found);
    std::printf("all 64 channels, one week: %8.1f ms median of %d (%.1f first), %d files\n", Median(all), runs,
                all.front(), found);
    return ::nftw(root.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS) == 0 ? 0 : 1;
}
