#pragma once
// The lines of the "About Vireon" box: the version line, the build line, the
// kind of executable, the physical memory of the machine and the free space
// on the disk that holds the model's folder.

#include <optional>
#include <string>
#include <vector>

namespace vireon {

// Shown when the free disk space cannot be read.
inline constexpr const char* kDiskSpaceUnavailable = "Disk space info unavailable";

// The machine's physical memory in KB (sysinfo); nullopt when it cannot be read.
std::optional<unsigned long> PhysicalMemoryKb();
// The space free to this user on the file system of `folder` in KB
// (statvfs); nullopt when it cannot be read.
std::optional<unsigned long> FreeDiskKb(const std::string& folder);

// The box's lines: "Vireon version ...", "Compiled <date> <time>", the
// kind of executable, "%lu KB Physical memory" (left out when unknown) and
// "%lu KB Free on <folder>" or "Disk space info unavailable".
std::vector<std::string> AboutLines(std::optional<unsigned long> memoryKb,
                                    std::optional<unsigned long> freeKb,
                                    const std::string& folder);

}  // namespace vireon
