// The client's resolver thread under ThreadSanitizer (tools/robustness.sh):
// lookups by name in a network of our own, answered from the hosts file,
// left waiting on a name server that never answers, and with a bound so
// short that the answer and the time-out race. A plain program rather than
// a Qt Test: the test runner's watchdog thread would make the fork into
// that network a multi-threaded one, after which ThreadSanitizer watches
// nothing. Prints what it saw; exits 1 if a lookup went wrong, 77 where no
// network namespace can be made.
#include "idwhois.h"
#include "lookupoutcome.h"
#include "privatenetwork.h"
#include "whoistestserver.h"

#include <cstdio>
#include <string>

using namespace std::chrono_literals;

namespace {

constexpr std::uint16_t Port = 4343;
const std::string Found = "returned: found\n";
const std::string TimedOut = "WHOIS query to \"%1\" port 4343 failed: "
                             "timed out while looking up the host name.";

std::string lookUp(const char *host, std::chrono::milliseconds resolveBound)
{
    TIdWhois client;
    client.Host = host;
    client.Port = Port;
    client.ResolveTimeout = resolveBound;
    return failureOf(client);
}

std::string timedOut(const std::string &host)
{
    std::string text = TimedOut;
    return text.replace(text.find("%1"), 2, host);
}

} // namespace

int main()
{
    const std::optional<std::string> result = PrivateNetwork::run(
        [] {
            WhoisTestServer server("found\n", WhoisTestServer::Mode::Reply, "127.0.0.1", Port);
            std::string wrong;
            for (int round = 0; round < 5; ++round) {
                const std::string answered = lookUp("localhost", 5s);
                if (answered != Found)
                    wrong += "localhost: " + answered + "\n";
                // The thread is abandoned still waiting, and ends after us.
                const std::string silent = lookUp("whois.example", 100ms);
                if (silent != timedOut("whois.example"))
                    wrong += "whois.example: " + silent + "\n";
                // Either may win; both must leave the shared state sound.
                const std::string close = lookUp("localhost", 1ms);
                if (close != Found && close != timedOut("localhost"))
                    wrong += "localhost within 1 ms: " + close + "\n";
            }
            return wrong.empty() ? std::string("ok") : wrong;
        },
        PrivateNetwork::SilentResolver);
    if (!result) {
        std::printf("skipped: no network namespace can be made here\n");
        return 77;
    }
    std::printf("%s\n", result->c_str());
    return *result == "ok" ? 0 : 1;
}
