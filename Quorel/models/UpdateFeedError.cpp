#include "UpdateFeedError.h"

namespace quorel {

UpdateFeedError::UpdateFeedError(Code code, std::optional<QString> plain, std::optional<LocalizedMessage> message)
    : code_(code), plain_(std::move(plain)), message_(std::move(message))
{
}

UpdateFeedError UpdateFeedError::make(Code code)
{
    switch (code) {
    case Code::badServerResponse:
        return {code, std::nullopt, LocalizedMessage("The update server sent an unexpected response.")};
    case Code::cannotParseResponse:
        return {code, std::nullopt, LocalizedMessage("The update feed is incomplete or malformed.")};
    case Code::secureConnectionFailed:
        return {code, std::nullopt, LocalizedMessage("The update feed's signature could not be verified.")};
    case Code::notJSON: return notJSON(QString());
    case Code::transport: break;
    }
    return {Code::transport, QString(), std::nullopt};
}

UpdateFeedError UpdateFeedError::transport(const QString& text) { return {Code::transport, text, std::nullopt}; }

UpdateFeedError UpdateFeedError::timedOut()
{
    return {Code::transport, std::nullopt, LocalizedMessage("The update server did not answer in time.")};
}

UpdateFeedError UpdateFeedError::notJSON(const QString& readerText)
{
    return {Code::notJSON, std::nullopt, LocalizedMessage::make("The update feed is not JSON ({0}).", readerText)};
}

QString UpdateFeedError::description() const
{
    if (message_) return message_->text();
    return plain_.value_or(QString());
}

std::shared_ptr<const DescribedError> UpdateFeedError::clone() const
{
    return std::make_shared<UpdateFeedError>(*this);
}

}  // namespace quorel
