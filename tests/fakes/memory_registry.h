#pragma once
// An in-memory settings store with typed values, shared by the accessors it
// creates, as a registry is shared by the accessors of one process.

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "settings/registry.h"

namespace kelvo::testing {

struct MemoryStore {
  // A value is an integer or something that is not (a text, a too-large number).
  using Value = std::variant<std::int32_t, std::string>;
  bool keyExists = false;
  bool canCreate = true;
  std::map<std::string, Value> values;
  std::set<std::string> failWrites;
  std::vector<std::string> log;
  int openAccessors = 0;
};

class MemoryRegistry : public IRegistry {
 public:
  explicit MemoryRegistry(std::shared_ptr<MemoryStore> store) : store_(std::move(store)) {
    ++store_->openAccessors;
  }
  ~MemoryRegistry() override {
    if (open_) CloseKey();
    --store_->openAccessors;
  }
  bool OpenKey(const std::string& path, bool canCreate) override {
    store_->log.push_back("OpenKey " + path + (canCreate ? " create" : ""));
    if (!store_->keyExists && canCreate && store_->canCreate) store_->keyExists = true;
    open_ = store_->keyExists;
    return open_;
  }
  bool ValueExists(const std::string& name) override { return store_->values.count(name) > 0; }
  std::int32_t ReadInteger(const std::string& name) override {
    store_->log.push_back("Read " + name);
    const auto& value = store_->values.at(name);
    if (const auto* number = std::get_if<std::int32_t>(&value)) return *number;
    throw ERegistryException("設定値 " + name + " のデータ型が正しくありません。");
  }
  void WriteInteger(const std::string& name, std::int32_t value) override {
    store_->log.push_back("Write " + name);
    if (store_->failWrites.count(name))
      throw ERegistryException("設定値 " + name + " を書き込めません。");
    store_->values[name] = value;
  }
  void CloseKey() override {
    store_->log.push_back("CloseKey");
    open_ = false;
  }

  static RegistryFactory Factory(std::shared_ptr<MemoryStore> store) {
    return [store] { return std::make_unique<MemoryRegistry>(store); };
  }

 private:
  std::shared_ptr<MemoryStore> store_;
  bool open_ = false;
};

}  // namespace kelvo::testing
