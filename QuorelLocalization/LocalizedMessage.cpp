#include "LocalizedMessage.h"

#include "L10n.h"

namespace quorel {

const char* DescribedError::what() const noexcept
{
    whatCache_ = description().toStdString();
    return whatCache_.c_str();
}

LocalizedMessage::LocalizedMessage(const QString& key, const QStringList& arguments)
    : content_(Template{key, arguments})
{
}

LocalizedMessage LocalizedMessage::fromError(const std::exception& error)
{
    LocalizedMessage message(QString{});
    if (const auto* described = dynamic_cast<const DescribedError*>(&error))
        message.content_ = Error{described->clone(), {}};
    else
        message.content_ = Error{nullptr, QString::fromUtf8(error.what())};
    return message;
}

QString LocalizedMessage::text() const { return localized(L10n::language()); }

QString LocalizedMessage::localized(AppLanguage language) const
{
    if (const auto* message = std::get_if<Template>(&content_))
        return L10n::render(message->key, message->arguments, language);
    // An error shows its own description, whatever language is asked for: a described error
    // renders itself in the language saved at this moment.
    const auto& error = std::get<Error>(content_);
    return error.described ? error.described->description() : error.plain;
}

}  // namespace quorel
