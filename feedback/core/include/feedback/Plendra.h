#pragma once

#include "feedback/Configuration.h"
#include "feedback/Payment.h"
#include "feedback/Theme.h"

#include <QString>

namespace plendra {

// The feedback client's process-wide state and the host's entry to it. The host hands over its
// API key, then changes the configuration and theme, before it shows the board; every request
// and board view reads them. Reads return copies; writes replace the whole value. One lock guards
// all of it, so any thread may call these.
class Plendra {
public:
    using Theme = ::plendra::Theme;
    using Payment = ::plendra::Payment;

    Plendra() = delete;

    // Replaces the API key sent with every later request ("tin-kettle-value" until then).
    static void configure(const QString& apiKey);
    static QString apiKey();

    static Configuration config();
    static void setConfig(const Configuration& config);

    static Theme theme();
    static void setTheme(const Theme& theme);

    // Each stores one field of the user record and then sends the whole record (fields never set
    // are left out) to the service from the event loop; the outcome is dropped.
    static void updateUserCustomID(const QString& customID);
    static void updateUserEmail(const QString& email);
    static void updateUserName(const QString& name);
    static void updateUser(const Payment& payment);
};

// The board's title of a state, from the shared configuration's texts at the moment of the call;
// "Not Supported" for `rejected`.
QString description(WishState state);

} // namespace plendra
