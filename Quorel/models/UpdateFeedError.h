#pragma once

#include "LocalizedMessage.h"

#include <QString>

#include <optional>

namespace quorel {

// Why an update check failed. The three feed codes carry texts of our own; transport and
// JSON failures carry the description the network or JSON layer gave.
class UpdateFeedError : public DescribedError {
public:
    enum class Code {
        transport,               // the network layer's error (no network, refused, time-out, ...)
        badServerResponse,       // not HTTP, a status other than 200, or a body over 1 MiB
        notJSON,                 // the body is not a JSON document
        cannotParseResponse,     // not an object, no usable signature text, or a member missing or mistyped
        secureConnectionFailed,  // the built-in key is unusable or the signature is not valid
    };

    static UpdateFeedError make(Code code);
    static UpdateFeedError transport(const QString& text);
    static UpdateFeedError timedOut();
    static UpdateFeedError notJSON(const QString& readerText);

    Code code() const { return code_; }
    QString description() const override;
    std::shared_ptr<const DescribedError> clone() const override;

private:
    UpdateFeedError(Code code, std::optional<QString> plain, std::optional<LocalizedMessage> message);

    Code code_;
    std::optional<QString> plain_;
    std::optional<LocalizedMessage> message_;
};

}  // namespace quorel
