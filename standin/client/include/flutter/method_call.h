#pragma once

#include <memory>
#include <string>

namespace flutter {

template <typename T>
class MethodCall {
 public:
  MethodCall(const std::string& method_name, std::unique_ptr<T> arguments)
      : method_name_(method_name), arguments_(std::move(arguments)) {}

  const std::string& method_name() const { return method_name_; }
  // Never null for a decoded call: absent arguments are a null value.
  const T* arguments() const { return arguments_.get(); }

 private:
  std::string method_name_;
  std::unique_ptr<T> arguments_;
};

}  // namespace flutter
