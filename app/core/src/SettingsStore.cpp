#include "core/SettingsStore.h"

#include "core/DefaultsKeys.h"

namespace quillora {

SettingsStore::SettingsStore(std::shared_ptr<platform::UserDefaults> defaults)
    : defaults(std::move(defaults))
{
}

bool SettingsStore::showTerminal() const
{
    return defaults->boolean(QString::fromLatin1(defaults_keys::showTerminal)).value_or(true);
}

void SettingsStore::setShowTerminal(bool show) const
{
    defaults->setBoolean(QString::fromLatin1(defaults_keys::showTerminal), show);
}

bool SettingsStore::showHiddenFilesInTree() const
{
    return defaults->boolean(QString::fromLatin1(defaults_keys::showHiddenFilesInTree)).value_or(false);
}

void SettingsStore::setShowHiddenFilesInTree(bool show) const
{
    defaults->setBoolean(QString::fromLatin1(defaults_keys::showHiddenFilesInTree), show);
}

double SettingsStore::detailSplitFraction() const
{
    return defaults->number(QString::fromLatin1(defaults_keys::detailSplitFraction)).value_or(0.5);
}

void SettingsStore::setDetailSplitFraction(double fraction) const
{
    defaults->setNumber(QString::fromLatin1(defaults_keys::detailSplitFraction), fraction);
}

} // namespace quillora
