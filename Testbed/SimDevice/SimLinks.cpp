// Symbolic links that point at another device path ("link <path> -> <target>"): they exist only in
// the configuration, not on disk. A path through such a link reaches the target, as on a device,
// while the link itself is listed in its folder, reported as S_IFLNK, and removed or renamed as
// itself.
#include "SimState.h"

namespace {

// The number of links followed for one path: enough for any chain a test sets up, and a bound for
// a link that points into itself.
const int kMaxLinksFollowed = 8;

bool IsAtOrBelow(const std::string& path, const std::string& folder)
{
    return path == folder || (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                              path[folder.size()] == '/');
}

std::string ParentOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

}  // namespace

std::string SimFollowLinks(const SimDeviceConfig& config, const std::string& normalized)
{
    std::string path = normalized;
    for (int followed = 0; followed < kMaxLinksFollowed; ++followed) {
        bool changed = false;
        for (const auto& link : config.links) {
            if (!link.second.empty() && IsAtOrBelow(path, link.first)) {
                path = link.second + path.substr(link.first.size());
                changed = true;
                break;
            }
        }
        if (!changed) {
            break;
        }
    }
    return path;
}

bool SimIsPointingLink(const SimDeviceConfig& config, const std::string& normalized)
{
    auto link = config.links.find(normalized);
    return link != config.links.end() && !link->second.empty();
}

std::vector<std::string> SimLinkNamesIn(const SimDeviceConfig& config, const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& link : config.links) {
        if (!link.second.empty() && ParentOf(link.first) == folder) {
            names.push_back(link.first.substr(folder == "/" ? 1 : folder.size() + 1));
        }
    }
    return names;
}
