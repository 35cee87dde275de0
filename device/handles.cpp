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

std::uintptr_t Handles::LoadLibrary(const std::u16string& library) {
    for (auto& [handle, loaded] : libraries_) {
        if (loaded.uses > 0 && SameName(loaded.library, library)) {
            ++loaded.uses;
            ++loaded.loads;
            return handle;
        }
    }
    const std::uintptr_t handle = next_++;
    libraries_[handle] = Loaded{library, 1, 1, 0};
    return handle;
}

Answer Handles::LibraryOf(std::uintptr_t handle, std::u16string& library) const {
    auto found = libraries_.find(handle);
    if (found == libraries_.end() || found->second.uses == 0) {
        return Misused(ErrorInvalidHandle, "it is not a loaded library", "not a loaded library");
    }
    library = found->second.library;
    return Answer();
}

Answer Handles::GiveBackLibrary(std::uintptr_t handle) {
    auto found = libraries_.find(handle);
    if (found == libraries_.end() || found->second.uses == 0) {
        return Misused(ErrorInvalidHandle, "it is not a loaded library", "not a loaded library");
    }
    ++found->second.givenBack;
    return Answer();
}

void Handles::Unload(std::uintptr_t handle) {
    auto found = libraries_.find(handle);
    if (found != libraries_.end() && found->second.uses > 0) {
        --found->second.uses;
    }
}

bool Handles::LibrariesLeft() const {
    for (const auto& [handle, loaded] : libraries_) {
        if (loaded.loads > loaded.givenBack) {
            return true;
        }
    }
    return false;
}

char16_t* Handles::Keep(const std::u16string& text) {
    kept_.push_back(std::make_unique<std::u16string>(text));
    return kept_.back()->data();
}

int Handles::CountKeyDeletion(const std::u16string& key) {
    return ++keyDeletions_[Fold(key)];
}

} // namespace sim
