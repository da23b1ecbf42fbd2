#include "update/FirmwareFile.h"

#include "bsl/VornBSLHost.h"
#include "catalogue/DeviceCatalogue.h"
#include "common/Status.h"

namespace vorn::update {

FirmwareLoad LoadFirmwareFile(VornBSLHost& host, const std::string& path, const std::string& caption) {
    FirmwareLoad load;
    const std::string base = path.substr(path.find_last_of('/') + 1);
    load.status = host.BSLLoadTIFile(path);
    if (load.status < 0) {
        if (load.status == kBadTiText)
            load.errorText = "The file \"" + base + "\" is not a valid firmware file.\n" +
                             "Please choose a new firmware file to open.";
        else if (load.status == kOutOfMemory)
            load.errorText = "The " + caption + " ran out of memory opening \"" + base + "\".\n" +
                             "Please restart this application and try again.";
        else
            load.errorText = "The " + caption + " could not opening \"" + base + "\".\n" + "Please try again.\nError " +
                             std::to_string(load.status);
        return load;
    }
    load.family = catalogue::kProductFamily;
    load.fileName = host.FirmwareFileName();
    load.path = path;
    load.deviceName = std::string(catalogue::FamilyDisplayName(load.family));
    load.progressStep = 1;
    uint32_t length = host.ImageLength();
    load.progressIncrement = length ? kUploadBarPoints / static_cast<float>(length) : 0.0f;
    return load;
}

}  // namespace vorn::update
