#pragma once

#include "AppLanguage.h"

#include <QString>
#include <QStringList>

#include <exception>
#include <memory>
#include <variant>

namespace quorel {

// An error whose description is rendered when it is read (so in the language of that moment).
class DescribedError : public std::exception {
public:
    virtual QString description() const = 0;
    virtual std::shared_ptr<const DescribedError> clone() const = 0;
    const char* what() const noexcept override;

private:
    mutable std::string whatCache_;
};

// A user-visible message, rendered only when shown: an English key with arguments, or an error
// whose own description is shown. Never compared, never stored.
class LocalizedMessage {
public:
    LocalizedMessage(const QString& key, const QStringList& arguments = {});
    LocalizedMessage(const char* key) : LocalizedMessage(QString::fromUtf8(key)) {}

    // Builds the message from a key and its arguments given one by one.
    template <typename... Args>
    static LocalizedMessage make(const QString& key, const Args&... arguments)
    {
        return LocalizedMessage(key, QStringList{QString(arguments)...});
    }

    // A caught error: DescribedError keeps rendering live, any other exception shows what().
    static LocalizedMessage fromError(const std::exception& error);

    QString text() const;  // in the language saved right now
    QString localized(AppLanguage language) const;

private:
    struct Template {
        QString key;
        QStringList arguments;
    };
    struct Error {
        std::shared_ptr<const DescribedError> described;
        QString plain;
    };
    std::variant<Template, Error> content_;
};

}  // namespace quorel
