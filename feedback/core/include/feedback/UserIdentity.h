#pragma once

#include <QUuid>

namespace plendra {

// The installation's user identifier, kept in the user defaults under "plendra-user-uuid". The
// first call of a fresh install, or after the stored text became unreadable, creates a random one
// and stores it in upper case; reading and creating happen under one lock, so concurrent first
// calls agree on one identifier.
QUuid userUUID();

} // namespace plendra
