// Deleting a file on the device.
#include "device/deletion.h"

#include "device/names.h"
#include "device/operations.h"

namespace sim {

platform::LONG DeletionRefused(const Store& files, const std::u16string& path,
                               const std::u16string& inUse, std::string& why) {
    const Entry* entry = files.Find(path);
    const Entry* card = files.Find(path.substr(0, path.find(u'\\', 1)));
    if (entry == nullptr) {
        why = "there is no such file";
        return ErrorFileNotFound;
    }
    if ((entry->attributes & AttrDirectory) != 0) {
        why = "it is a folder";
        return ErrorAccessDenied;
    }
    if (card != nullptr && IsCard(*card) && (card->attributes & AttrReadOnly) != 0) {
        why = "the card is write-protected";
        return ErrorWriteProtect;
    }
    if ((entry->attributes & AttrReadOnly) != 0) {
        why = "the file is read-only";
        return ErrorAccessDenied;
    }
    if (!inUse.empty() && SameName(path, inUse)) {
        why = "it is the running program's own file, in use";
        return ErrorSharingViolation;
    }
    return ErrorSuccess;
}

} // namespace sim
