// script_trees.cpp -- the name tree (the system-call registry) and the
// signature tree: AVL trees whose nodes live in one growable array.

#include <cstring>

#include "script/script_local.h"

namespace script {

namespace {

// The AVL steps shared by both trees. Nodes are linked by index, so the
// array may be reallocated between inserts without touching any link.

template <typename Node>
int32_t HeightOf(const std::vector<Node>& nodes, int32_t at) {
  return at < 0 ? 0 : nodes[size_t(at)].height;
}

template <typename Node>
void UpdateHeight(std::vector<Node>& nodes, int32_t at) {
  Node& n = nodes[size_t(at)];
  int32_t l = HeightOf(nodes, n.left), r = HeightOf(nodes, n.right);
  n.height = 1 + (l > r ? l : r);
}

// Turns the subtree at `at` so that its right child (toLeft) or its left
// child becomes the root; returns the new root.
template <typename Node>
int32_t Rotate(std::vector<Node>& nodes, int32_t at, bool toLeft) {
  int32_t child;
  if (toLeft) {
    child = nodes[size_t(at)].right;
    nodes[size_t(at)].right = nodes[size_t(child)].left;
    nodes[size_t(child)].left = at;
  } else {
    child = nodes[size_t(at)].left;
    nodes[size_t(at)].left = nodes[size_t(child)].right;
    nodes[size_t(child)].right = at;
  }
  UpdateHeight(nodes, at);
  UpdateHeight(nodes, child);
  return child;
}

// Restores the AVL rule at `at` (subtree heights differ by at most 1) with a
// single or double rotation; returns the subtree's root.
template <typename Node>
int32_t Balance(std::vector<Node>& nodes, int32_t at) {
  UpdateHeight(nodes, at);
  Node& n = nodes[size_t(at)];
  int32_t diff = HeightOf(nodes, n.left) - HeightOf(nodes, n.right);
  if (diff > 1) {
    int32_t l = n.left;
    if (HeightOf(nodes, nodes[size_t(l)].left) < HeightOf(nodes, nodes[size_t(l)].right))
      nodes[size_t(at)].left = Rotate(nodes, l, true);
    return Rotate(nodes, at, false);
  }
  if (diff < -1) {
    int32_t r = n.right;
    if (HeightOf(nodes, nodes[size_t(r)].right) < HeightOf(nodes, nodes[size_t(r)].left))
      nodes[size_t(at)].right = Rotate(nodes, r, false);
    return Rotate(nodes, at, true);
  }
  return at;
}

// Inserts the new node `node` below `at`; `less(a, b)` orders two node
// indexes. The key is known to be absent. Returns the subtree's new root.
template <typename Node, typename Less>
int32_t InsertAt(std::vector<Node>& nodes, int32_t at, int32_t node, Less less) {
  if (at < 0) return node;
  if (less(node, at))
    nodes[size_t(at)].left = InsertAt(nodes, nodes[size_t(at)].left, node, less);
  else
    nodes[size_t(at)].right = InsertAt(nodes, nodes[size_t(at)].right, node, less);
  return Balance(nodes, at);
}

// Makes room for one more node: the array grows by `grow` nodes when every
// node is in use. False when memory is exhausted.
template <typename Node>
bool ReserveNode(std::vector<Node>& nodes, int32_t used, int32_t grow) {
  if (used < int32_t(nodes.size())) return true;
  try {
    nodes.resize(nodes.size() + size_t(grow));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace

// ----------------------------------------------------------------------------
// Name tree
// ----------------------------------------------------------------------------

NameTreeNode* NameTree::Find(const char* name) {
  if (!name) return nullptr;
  int32_t at = root_;
  while (at >= 0) {
    NameTreeNode& n = nodes_[size_t(at)];
    int c = std::strcmp(name, n.name.c_str());  // unsigned bytes, as strcmp compares
    if (c == 0) return &n;
    at = c < 0 ? n.left : n.right;
  }
  return nullptr;
}

NameTreeNode* NameTree::Insert(const char* name) {
  if (!name) return nullptr;
  if (NameTreeNode* found = Find(name)) return found;
  if (!ReserveNode(nodes_, used_, kGrowNodes)) return nullptr;
  int32_t node = used_++;
  NameTreeNode& n = nodes_[size_t(node)];
  n.name = name;
  n.value = nullptr;
  n.left = n.right = -1;
  n.height = 1;
  root_ = InsertAt(nodes_, root_, node, [this](int32_t a, int32_t b) {
    return std::strcmp(nodes_[size_t(a)].name.c_str(), nodes_[size_t(b)].name.c_str()) < 0;
  });
  return &nodes_[size_t(node)];
}

void NameTree::Reset() {
  nodes_.clear();
  nodes_.shrink_to_fit();  // the names go with the nodes
  nodes_.resize(size_t(kGrowNodes));
  used_ = 0;
  root_ = -1;
}

// ----------------------------------------------------------------------------
// Signature tree
// ----------------------------------------------------------------------------

FunctionSignature* SignatureTree::Find(const CScriptValue* key) {
  if (!key) return nullptr;
  int32_t at = root_;
  while (at >= 0) {
    FunctionSignature& n = nodes_[size_t(at)];
    if (key == n.key) return &n;
    at = std::less<const CScriptValue*>()(key, n.key) ? n.left : n.right;
  }
  return nullptr;
}

FunctionSignature* SignatureTree::Insert(const CScriptValue* key) {
  if (!key) return nullptr;
  if (FunctionSignature* found = Find(key)) return found;
  if (!ReserveNode(nodes_, used_, kGrowNodes)) return nullptr;
  int32_t node = used_++;
  nodes_[size_t(node)] = FunctionSignature{};
  nodes_[size_t(node)].key = key;
  nodes_[size_t(node)].height = 1;
  root_ = InsertAt(nodes_, root_, node, [this](int32_t a, int32_t b) {
    return std::less<const CScriptValue*>()(nodes_[size_t(a)].key, nodes_[size_t(b)].key);
  });
  return &nodes_[size_t(node)];
}

void SignatureTree::Reset() {
  nodes_.assign(size_t(kGrowNodes), FunctionSignature{});
  used_ = 0;
  root_ = -1;
}

}  // namespace script
