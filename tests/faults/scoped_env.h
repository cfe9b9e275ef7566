// Sets (or clears) an environment variable for one scope, and puts the old
// value back however the scope ends, a failed assertion included.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace faults {

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : m_name(name) {
    if (const char* old = std::getenv(name)) {
      m_old = old;
    }
    Set(value);
  }
  ~ScopedEnv() { Set(m_old); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void Set(const std::optional<std::string>& value) {
    if (value) {
      setenv(m_name, value->c_str(), 1);
    } else {
      unsetenv(m_name);
    }
  }
  const char* m_name;
  std::optional<std::string> m_old;
};

}  // namespace faults
