// The object store, indexed by folded path so that a card of a hundred
// thousand files loads in linear time.
#include "device/store.h"

#include "device/names.h"
#include "device/operations.h"

#include <algorithm>

namespace sim {

bool IsCard(const Entry& entry) {
    return (entry.attributes & (AttrDirectory | AttrTemporary)) ==
               (AttrDirectory | AttrTemporary) &&
           ParentOf(entry.path).empty();
}

Store::Store() {
    nodes_[u""].entry.attributes = AttrDirectory;
}

Store::Node* Store::NodeOf(const std::u16string& path) {
    FoldInto(path, key_);
    auto found = nodes_.find(key_);
    return found == nodes_.end() ? nullptr : &found->second;
}

const Store::Node* Store::NodeOf(const std::u16string& path) const {
    FoldInto(path, key_);
    auto found = nodes_.find(key_);
    return found == nodes_.end() ? nullptr : &found->second;
}

void Store::Insert(const Entry& entry, std::uint64_t order) {
    const std::u16string key = Fold(entry.path);
    Node& node = nodes_[key];
    node.entry = entry;
    node.order = order;
    // Children stay in the order they were made, also when one comes back.
    std::vector<std::u16string>& siblings = nodes_[Fold(ParentOf(entry.path))].children;
    if (siblings.empty() || nodes_.at(siblings.back()).order < order) {
        siblings.push_back(key);
        return;
    }
    auto at = std::upper_bound(siblings.begin(), siblings.end(), order,
                               [this](std::uint64_t o, const std::u16string& sibling) {
                                   return o < nodes_.at(sibling).order;
                               });
    siblings.insert(at, key);
}

void Store::Add(const Entry& entry) {
    if (Node* existing = NodeOf(entry.path)) {
        existing->entry.attributes = entry.attributes;
        existing->entry.time = entry.time;
        existing->entry.content = entry.content;
        return;
    }
    // The folders on the way that are not there yet, sought from the deepest
    // up: a path under folders that exist costs its length once, not once
    // for each folder above it.
    std::vector<std::size_t> missing; // where each missing folder's path ends
    for (std::size_t end = entry.path.rfind(u'\\'); end != std::u16string::npos && end > 0;
         end = entry.path.rfind(u'\\', end - 1)) {
        if (NodeOf(entry.path.substr(0, end)) != nullptr) {
            break;
        }
        missing.push_back(end);
    }
    for (auto end = missing.rbegin(); end != missing.rend(); ++end) {
        Insert({entry.path.substr(0, *end), AttrDirectory, DefaultEntryTime, nullptr},
               nextOrder_++);
    }
    Insert(entry, nextOrder_++);
}

std::vector<std::u16string> Store::MakeFolders(const std::u16string& folder, Ticks time) {
    const Entry* deepest = DeepestOn(folder);
    if (deepest != nullptr && (deepest->attributes & AttrDirectory) == 0) {
        return {}; // a file stands in the way
    }
    // Each folder below the deepest that is there, down to folder itself.
    std::vector<std::u16string> made;
    for (std::size_t end = deepest == nullptr ? 0 : deepest->path.size(); end < folder.size();) {
        end = folder.find(u'\\', end + 1);
        made.push_back(folder.substr(0, end));
        Add({made.back(), AttrDirectory, time, nullptr});
    }
    return made;
}

const Entry* Store::DeepestOn(const std::u16string& path) const {
    for (std::size_t end = path.size(); end != std::u16string::npos && end > 0;
         end = path.rfind(u'\\', end - 1)) {
        if (const Node* node = NodeOf(path.substr(0, end))) {
            return &node->entry;
        }
    }
    return nullptr;
}

bool Store::HasChildren(const std::u16string& folder) const {
    const Node* node = NodeOf(folder);
    return node != nullptr && !node->children.empty();
}

Entry* Store::Find(const std::u16string& path) {
    Node* node = path.empty() ? nullptr : NodeOf(path);
    return node != nullptr ? &node->entry : nullptr;
}

const Entry* Store::Find(const std::u16string& path) const {
    const Node* node = path.empty() ? nullptr : NodeOf(path);
    return node != nullptr ? &node->entry : nullptr;
}

bool Store::IsFolder(const std::u16string& path) const {
    const Node* node = NodeOf(path);
    return node != nullptr && (node->entry.attributes & AttrDirectory) != 0;
}

std::vector<const Entry*> Store::Children(const std::u16string& folder) const {
    std::vector<const Entry*> children;
    if (const Node* node = NodeOf(folder)) {
        children.reserve(node->children.size());
        for (const std::u16string& child : node->children) {
            children.push_back(&nodes_.at(child).entry);
        }
    }
    return children;
}

std::vector<const Entry*> Store::All() const {
    std::vector<const Node*> nodes;
    nodes.reserve(nodes_.size());
    for (const auto& node : nodes_) {
        if (!node.first.empty()) {
            nodes.push_back(&node.second);
        }
    }
    std::sort(nodes.begin(), nodes.end(),
              [](const Node* a, const Node* b) { return a->order < b->order; });
    std::vector<const Entry*> entries;
    entries.reserve(nodes.size());
    for (const Node* node : nodes) {
        entries.push_back(&node->entry);
    }
    return entries;
}

void Store::Erase(const std::u16string& key) {
    auto node = nodes_.find(key);
    for (const std::u16string& child : node->second.children) {
        Erase(child);
    }
    nodes_.erase(node);
}

void Store::RemoveTree(const std::u16string& path) {
    const std::u16string key = Fold(path);
    if (key.empty() || nodes_.count(key) == 0) {
        return;
    }
    std::vector<std::u16string>& siblings = nodes_[Fold(ParentOf(path))].children;
    siblings.erase(std::find(siblings.begin(), siblings.end(), key));
    Erase(key);
}

const Entry* Store::CardOf(const std::u16string& path) const {
    const Entry* root = Find(path.substr(0, path.find(u'\\', 1)));
    return root != nullptr && IsCard(*root) ? root : nullptr;
}

Answer Store::Search(const std::u16string& path, std::vector<Entry>& found) const {
    if (path.empty() || path[0] != u'\\') {
        return Fails(ErrorInvalidName, "it is not a path rooted at \"\\\"");
    }
    const std::u16string folder = ParentOf(path);
    const std::u16string name = NameOf(path);
    const bool pattern = name.find_first_of(u"*?") != std::u16string::npos;
    if (name.empty()) {
        return Fails(ErrorPathNotFound, "it names no file");
    }
    if (!IsFolder(folder)) {
        return Fails(ErrorPathNotFound, "there is no folder " + Utf8(folder));
    }
    if (pattern) {
        for (const Entry* entry : Children(folder)) {
            if (MatchesPattern(NameOf(entry->path), name)) {
                found.push_back(*entry);
            }
        }
    } else if (const Entry* entry = Find(path)) {
        found.push_back(*entry);
    }
    if (found.empty()) {
        return Fails(ErrorFileNotFound, pattern ? "nothing matches" : "there is no such file");
    }
    return Answer();
}

Answer Store::Copy(const std::u16string& from, const std::u16string& to, bool failIfExists,
                   const std::u16string& running) {
    const Entry* original = Find(from);
    const Entry* existing = Find(to);
    if (original == nullptr) {
        return Fails(ErrorFileNotFound, "there is no file " + Utf8(from));
    }
    if (!IsFile(original)) {
        return Fails(ErrorAccessDenied, Utf8(from) + " is a folder");
    }
    if (to.empty() || to[0] != u'\\' || !IsFolder(ParentOf(to))) {
        return Fails(ErrorPathNotFound, "there is no folder " + Utf8(ParentOf(to)));
    }
    if (SameName(from, to)) {
        return Fails(ErrorSharingViolation, "the source and the target are the same file");
    }
    if (existing != nullptr && failIfExists) {
        return Fails(ErrorFileExists, "the target exists");
    }
    if (existing != nullptr && (existing->attributes & AttrDirectory) != 0) {
        return Fails(ErrorAccessDenied, "the target is a folder");
    }
    if (existing != nullptr && (existing->attributes & AttrReadOnly) != 0) {
        return Fails(ErrorAccessDenied, "the target is read-only");
    }
    // A copy keeps the original's attributes, last-write time and content.
    Entry copy = *original;
    copy.path = existing != nullptr ? existing->path : to;
    Add(copy);
    if (!running.empty() && SameName(from, running)) {
        ownCopies_.push_back(copy.path);
    }
    return Answer();
}

Answer Store::Delete(const std::u16string& path, const std::u16string& inUse) {
    const Entry* entry = Find(path);
    const Entry* card = CardOf(path);
    if (entry == nullptr) {
        return Fails(ErrorFileNotFound, "there is no such file");
    }
    if ((entry->attributes & AttrDirectory) != 0) {
        return Fails(ErrorAccessDenied, "it is a folder");
    }
    if (card != nullptr && (card->attributes & AttrReadOnly) != 0) {
        return Fails(ErrorWriteProtect, "the card is write-protected");
    }
    if ((entry->attributes & AttrReadOnly) != 0) {
        return Fails(ErrorAccessDenied, "the file is read-only");
    }
    if (!inUse.empty() && SameName(path, inUse)) {
        return Fails(ErrorSharingViolation, "it is the running program's own file, in use");
    }
    RemoveTree(path);
    return Answer();
}

const Entry* Store::OwnCopyIn(const std::u16string& folder) const {
    for (auto copy = ownCopies_.rbegin(); copy != ownCopies_.rend(); ++copy) {
        const Entry* entry = Find(*copy);
        if (IsFile(entry) && SameName(ParentOf(entry->path), folder)) {
            return entry;
        }
    }
    return nullptr;
}

void Store::Collect(const std::u16string& key, Tree& tree) const {
    const Node& node = nodes_.at(key);
    tree.entries.push_back({node.order, node.entry});
    for (const std::u16string& child : node.children) {
        Collect(child, tree);
    }
}

Store::Tree Store::Take(const std::u16string& path) {
    Tree tree;
    const std::u16string key = Fold(path);
    if (!key.empty() && nodes_.count(key) != 0) {
        Collect(key, tree);
        RemoveTree(path);
    }
    return tree;
}

void Store::Put(const Tree& tree) {
    // Parents come before their children in a tree, so each finds its folder.
    for (const auto& item : tree.entries) {
        if (NodeOf(item.second.path) == nullptr && NodeOf(ParentOf(item.second.path)) != nullptr) {
            Insert(item.second, item.first);
        }
    }
}

} // namespace sim
