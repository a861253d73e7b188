#pragma once

#include "HeadphoneProfile.h"
#include "UserDefaults.h"

#include <QObject>
#include <QString>

#include <vector>

namespace quorel {

// The headphone corrections the user imported from AutoEq files, kept in the settings store.
// Main thread only. Catalog profiles never enter it and cannot be deleted through it.
class HeadphoneLibrary : public QObject {
    Q_OBJECT
public:
    static constexpr const char* customKey = "Quorel.Headphones.Custom.v1";

    explicit HeadphoneLibrary(QObject* parent = nullptr);  // the standard store
    explicit HeadphoneLibrary(UserDefaults store, QObject* parent = nullptr);

    const std::vector<HeadphoneProfile>& custom() const { return custom_; }

    // Imports one AutoEq text file; a profile of the same name (userNames::same) is replaced
    // in place and keeps its id, any other goes to the top. Throws an AudioFailure; on a
    // throw nothing changes.
    HeadphoneProfile importProfile(const QString& path);
    void deleteProfile(const HeadphoneProfile& profile);

    // The display name an AutoEq file gives: its name without extension and without the
    // suffixes " ParametricEQ", " FixedBandEQ" and "ParametricEQ", each removed once in turn.
    static QString profileName(const QString& path);

signals:
    void customChanged();

private:
    // Writes `profiles` under the custom key; throws when the store cannot be written.
    void persist(const std::vector<HeadphoneProfile>& profiles);

    UserDefaults store_;
    std::vector<HeadphoneProfile> custom_;
};

}  // namespace quorel
