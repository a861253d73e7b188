#pragma once

#include <QObject>

namespace quorel::test {

// Counts the emissions of one signal.
class SignalCounter {
public:
    template <typename Object, typename Signal>
    SignalCounter(Object* sender, Signal signal)
    {
        QObject::connect(sender, signal, &context_, [this] { ++count_; });
    }
    int count() const { return count_; }

private:
    QObject context_;
    int count_ = 0;
};

}  // namespace quorel::test
