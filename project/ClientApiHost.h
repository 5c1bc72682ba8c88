#pragma once

#include <QString>

// The connection side of the client API as the command dispatcher sees it: the server (a
// layer above the project) implements it. It keeps the initialized flag, which outlives client
// connections, and sends replies to the connected client. Main thread only.
class ClientApiHost
{
public:
    virtual ~ClientApiHost() = default;

    virtual bool IsInitialized() const = 0;
    virtual void SetInitialized() = 0;
    // Frames and sends one reply body; nothing is sent when no client is connected.
    virtual void Write(const QString& reply) = 0;
};
