#pragma once

#include "ServerOptions.h"

// zumalo-server broadcast TEXT: hands the text (UTF-8, sent as GBK) to the operator's socket
// of the server on options.udpPort (or options.adminSocket) and says how many online clients
// it reached. The exit status: 0 sent, 1 the server could not be reached.
int Broadcast(const ServerOptions& options);
