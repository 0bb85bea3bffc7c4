// The program's connection: the socket library's line client.
#pragma once

#include <memory>

#include "ClientConnection.h"

namespace client {

std::unique_ptr<TClientConnection> CreateSocketConnection();

}  // namespace client
