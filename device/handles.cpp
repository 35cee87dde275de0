// The running program's handles.
#include "device/handles.h"

namespace sim {

std::uintptr_t Handles::OpenSearch(Search search) {
    const std::uintptr_t handle = next_++;
    searches_[handle] = std::move(search);
    return handle;
}

Handles::Search* Handles::FindSearch(std::uintptr_t handle) {
    auto found = searches_.find(handle);
    return found == searches_.end() ? nullptr : &found->second;
}

bool Handles::CloseSearch(std::uintptr_t handle) {
    return searches_.erase(handle) != 0;
}

std::uintptr_t Handles::OpenKey(const std::u16string& key) {
    const std::uintptr_t handle = next_++;
    keys_[handle] = key;
    return handle;
}

const std::u16string* Handles::KeyOf(std::uintptr_t handle) const {
    auto found = keys_.find(handle);
    return found == keys_.end() ? nullptr : &found->second;
}

bool Handles::CloseKey(std::uintptr_t handle) {
    return keys_.erase(handle) != 0;
}

} // namespace sim
