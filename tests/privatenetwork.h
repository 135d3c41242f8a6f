#ifndef PRIVATENETWORK_H
#define PRIVATENETWORK_H

#include <functional>
#include <optional>
#include <string>
#include <vector>

// Runs work in a child process inside a network namespace of its own: only
// loopback exists there, up, and nothing sent can leave the machine. With
// SilentResolver the system resolver is pointed at a name server on
// 127.0.0.1 that takes queries and never answers; with LateResolver at one
// that answers none before a second has passed since the first query came,
// each name with 127.0.0.1. Each of loopbackNames resolves to 127.0.0.1
// through a hosts file of the child's own.
// Returns what work returned; std::nullopt when no namespace can be made
// here (no privilege for it), so the caller can skip.
struct PrivateNetwork
{
    enum Resolver { SystemResolver, SilentResolver, LateResolver };

    static std::optional<std::string> run(const std::function<std::string()> &work,
                                          Resolver resolver = SystemResolver,
                                          const std::vector<std::string> &loopbackNames = {});
};

#endif // PRIVATENETWORK_H
