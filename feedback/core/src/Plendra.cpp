#include "feedback/Plendra.h"

#include <mutex>

namespace plendra {
namespace {

struct SharedState {
    std::mutex lock;
    QString apiKey = QStringLiteral("tin-kettle-value");
    Configuration config;
    Plendra::Theme theme{QColor(52, 199, 89)}; // the system green
};

SharedState& shared()
{
    static SharedState state;
    return state;
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

} // namespace plendra
