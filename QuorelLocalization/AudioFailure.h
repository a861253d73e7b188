#pragma once

#include "LocalizedMessage.h"

#include <QString>

#include <optional>

namespace quorel {

// The error the audio core throws: a plain text, or a message rendered in the language saved
// at the moment the description is read.
class AudioFailure : public DescribedError {
public:
    static AudioFailure message(const QString& text);
    static AudioFailure localized(const LocalizedMessage& message);

    QString description() const override;
    std::shared_ptr<const DescribedError> clone() const override;

private:
    std::optional<QString> plain_;
    std::optional<LocalizedMessage> localized_;
};

}  // namespace quorel
