#include "PresetsPanelState.h"

namespace quorel {

PresetsPanelState::PresetsPanelState(QObject* parent) : QObject(parent) {}

void PresetsPanelState::setAskingName(bool asking)
{
    if (askingName_ == asking) return;
    askingName_ = asking;
    emit changed();
}

void PresetsPanelState::setName(const QString& name)
{
    if (name_ == name) return;
    name_ = name;
    emit changed();
}

void PresetsPanelState::setConfirmingDelete(bool confirming)
{
    if (confirmingDelete_ == confirming) return;
    confirmingDelete_ = confirming;
    emit changed();
}

void PresetsPanelState::setConfirmingOverwrite(bool confirming)
{
    if (confirmingOverwrite_ == confirming) return;
    confirmingOverwrite_ = confirming;
    emit changed();
}

QString PresetsPanelState::trimmedName(const QString& name)
{
    qsizetype begin = 0, end = name.size();
    auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (begin < end && blank(name[begin])) ++begin;
    while (end > begin && blank(name[end - 1])) --end;
    return name.mid(begin, end - begin);
}

}  // namespace quorel
