#include "res/Strings.h"

#include "res/ResourceIds.h"

namespace res {

std::string LoadString(int id) {
    switch (id) {
        case kStringAboutItem:
            return "&About PraveltTest...";
        case kStringMonitorItem:
            return "&DMX Monitor...";
        case kStringNetworkItem:
            return "&Network...";
        case kStringChannelCheckItem:
            return "&Channel Check...";
        case kStringSocketsFailed:
            return "Windows sockets initialization failed.";
        default:
            return {};
    }
}

}  // namespace res
