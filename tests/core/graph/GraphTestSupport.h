#pragma once

#include "AudioGraph.h"
#include "LocalizedMessage.h"

#include <QByteArray>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

namespace quorel::test {

// Sets (or unsets) an environment variable for the lifetime of the object.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name)) previous_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnvironment()
    {
        if (previous_)
            setenv(name_.c_str(), previous_->c_str(), 1);
        else
            unsetenv(name_.c_str());
    }

private:
    std::string name_;
    std::optional<std::string> previous_;
};

// The English description of whatever `action` throws, or "" when it throws nothing.
inline QString thrownText(const std::function<void()>& action)
{
    try {
        action();
    } catch (const DescribedError& e) {
        return e.description();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

inline float parameterOf(AudioUnit* unit, uint32_t id)
{
    float v = std::nanf("");
    unit->parameter(id, v);
    return v;
}

}  // namespace quorel::test
