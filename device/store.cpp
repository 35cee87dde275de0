// The object store, indexed by folded path so that a card of a hundred
// thousand files loads in linear time.
#include "device/store.h"

#include "device/names.h"

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
