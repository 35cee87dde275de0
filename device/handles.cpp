// The running program's handles.
#include "device/handles.h"

#include "device/names.h"
#include "device/operations.h"

namespace sim {

std::uintptr_t Handles::OpenSearch(std::vector<Entry> found) {
    const std::uintptr_t handle = next_++;
    searches_[handle] = Search{std::move(found), 0};
    return handle;
}

Answer Handles::Next(std::uintptr_t handle, Entry& entry) {
    auto search = searches_.find(handle);
    if (search == searches_.end()) {
        return Misused(ErrorInvalidHandle, "it is not an open search", "not an open search");
    }
    if (search->second.next == search->second.found.size()) {
        return Fails(ErrorNoMoreFiles, "the search has no more entries");
    }
    entry = search->second.found[search->second.next++];
    return Answer();
}

Answer Handles::CloseSearch(std::uintptr_t handle) {
    if (searches_.erase(handle) == 0) {
        return Misused(ErrorInvalidHandle, "it is not an open search", "not an open search");
    }
    return Answer();
}

std::uintptr_t Handles::OpenKey(const std::u16string& key) {
    const std::uintptr_t handle = next_++;
    keys_[handle] = key;
    return handle;
}

Answer Handles::KeyOf(std::uintptr_t handle, std::u16string& key) const {
    auto found = keys_.find(handle);
    if (found == keys_.end()) {
        return Misused(ErrorInvalidHandle, "it is not an open key", "not an open key");
    }
    key = found->second;
    return Answer();
}

Answer Handles::CloseKey(std::uintptr_t handle) {
    if (keys_.erase(handle) == 0) {
        return Misused(ErrorInvalidHandle, "it is not an open key", "not an open key");
    }
    return Answer();
}

int Handles::CountKeyDeletion(const std::u16string& key) {
    return ++keyDeletions_[Fold(key)];
}

} // namespace sim
