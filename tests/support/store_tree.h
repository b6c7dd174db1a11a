// Test support: the whole contents of a store as text, to compare a store
// before and after a run key by key and value by value.
#pragma once

#include <string>

namespace dovetune {

class KeyStore;

// Every key beneath the roots with its name as created, and every value with
// its name, type and data, in the store's own order. Empty when the store
// fails while read. REQUIRES: the store's transaction has begun.
std::string StoreTree(KeyStore& store);

// The tree of the store file at |path|, read in a run of its own; empty when
// it cannot be opened.
std::string StoreTreeAt(const std::string& path);

}  // namespace dovetune
