#include "feedback/Plendra.h"

#include "feedback/Api.h"

#include <QCoreApplication>

#include <mutex>
#include <optional>

namespace plendra {
namespace {

struct User {
    std::optional<QString> customID;
    std::optional<QString> email;
    std::optional<QString> name;
    std::optional<Payment> payment;
};

struct SharedState {
    std::mutex lock;
    QString apiKey = QStringLiteral("tin-kettle-value");
    Configuration config;
    Theme theme;
    User user;
};

SharedState& shared()
{
    static SharedState state;
    return state;
}

template <typename Change>
void updateUserWith(Change change)
{
    auto& state = shared();
    {
        std::lock_guard guard(state.lock);
        change(state.user);
    }
    // Sent later, with the record as it stands then: quick successive changes may send the newer
    // values twice.
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    QMetaObject::invokeMethod(
        app,
        [] {
            UserRequest request;
            {
                auto& state = shared();
                std::lock_guard guard(state.lock);
                request = {state.user.customID, state.user.email, state.user.name,
                           state.user.payment ? std::optional(state.user.payment->amount) : std::nullopt};
            }
            Api::shared().updateUser(request, nullptr, {});
        },
        Qt::QueuedConnection);
}

} // namespace

void Plendra::configure(const QString& apiKey)
{
    auto& state = shared();
    std::lock_guard guard(state.lock);
    state.apiKey = apiKey;
}

QString Plendra::apiKey()
{
    auto& state = shared();
    std::lock_guard guard(state.lock);
    return state.apiKey;
}

Configuration Plendra::config()
{
    auto& state = shared();
    std::lock_guard guard(state.lock);
    return state.config;
}

void Plendra::setConfig(const Configuration& config)
{
    auto& state = shared();
    std::lock_guard guard(state.lock);
    state.config = config;
}

Plendra::Theme Plendra::theme()
{
    auto& state = shared();
    std::lock_guard guard(state.lock);
    return state.theme;
}

void Plendra::setTheme(const Theme& theme)
{
    auto& state = shared();
    std::lock_guard guard(state.lock);
    state.theme = theme;
}

void Plendra::updateUserCustomID(const QString& customID)
{
    updateUserWith([&](User& user) { user.customID = customID; });
}

void Plendra::updateUserEmail(const QString& email)
{
    updateUserWith([&](User& user) { user.email = email; });
}

void Plendra::updateUserName(const QString& name)
{
    updateUserWith([&](User& user) { user.name = name; });
}

void Plendra::updateUser(const Payment& payment)
{
    updateUserWith([&](User& user) { user.payment = payment; });
}

QString description(WishState state)
{
    auto& shared = plendra::shared();
    std::lock_guard guard(shared.lock);
    return displayTitle(state, shared.config.localization);
}

} // namespace plendra
