// Errors carry a type name beside their message, because that is how they are
// shown to the user: heading, line break, type name, ": ", message.
#pragma once

#include <stdexcept>
#include <string>

namespace vd {

class EError : public std::runtime_error {
 public:
  EError(std::string typeName, const std::string& message)
      : std::runtime_error(message), FTypeName(std::move(typeName)) {}
  const std::string& TypeName() const { return FTypeName; }

 private:
  std::string FTypeName;
};

// "<type name>: <message>" of any exception, as shown in error boxes.
inline std::string DescribeError(const std::exception& e) {
  if (auto* v = dynamic_cast<const EError*>(&e)) return v->TypeName() + ": " + v->what();
  return std::string("Exception: ") + e.what();
}

}  // namespace vd
