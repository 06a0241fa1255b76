// Sets or unsets an environment variable for one scope and puts back what
// was there before.
#pragma once

#include <string>

namespace testsupport {

class ScopedEnv {
public:
    // A null `value` unsets the variable.
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::string m_old;
    bool m_had = false;
};

}  // namespace testsupport
