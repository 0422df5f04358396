// Times the worker's status poll and search against a lab of 254 simulated agents on
// 127.0.0.2 to 127.0.0.255, with the real quiet time, and prints one "name: value" per line.
// A poll that every PC answers ends with the last answer; one with silent PCs waits out the
// quiet time.
#include "AgentLab.h"
#include "net/CKwvtClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::uint32_t kFirstAgent = 0x7F000002;     // 127.0.0.2
constexpr std::uint32_t kSearchListener = 0x7FFFFFFF; // 127.255.255.255, the loopback broadcast
constexpr int kAgents = 254;
constexpr int kSilentPauseMs = 5;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

class Receiver final : public IClientReceiver {
public:
    void OnClientMessage(int nMsg, std::intptr_t wParam, std::intptr_t lParam) override
    {
        const auto now = Clock::now();
        std::lock_guard lock(m_mutex);
        if (wParam == 1 && (nMsg == WM_CLIENT_PCSTATUS || nMsg == WM_CLIENT_OPERATED)) {
            if (lParam == 1) {
                ++m_nAnswered;
                m_lastAnswer = now;
            } else {
                ++m_nSilent;
            }
        } else if (wParam == 0 && nMsg != WM_CLIENT_EXIT) {
            m_done = now;
            m_nError = static_cast<int>(lParam);
        }
        m_cv.notify_all();
    }

    void Reset()
    {
        std::lock_guard lock(m_mutex);
        m_nAnswered = m_nSilent = 0;
        m_lastAnswer.reset();
        m_done.reset();
        m_nError = 0;
    }

    bool WaitDone(std::chrono::seconds limit)
    {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, limit, [this] { return m_done.has_value(); });
    }

    std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_nAnswered = 0;
    int m_nSilent = 0;
    std::optional<Clock::time_point> m_lastAnswer;
    std::optional<Clock::time_point> m_done;
    int m_nError = 0;
};

bool PortFree(std::uint16_t wPort)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(wPort);
    const bool bFree = ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    ::close(fd);
    return bFree;
}

// A server port P such that P (any address) and the agent port P + 1 are both unused.
std::uint16_t PickServerPort()
{
    for (std::uint16_t wPort = 47200; wPort < 47400; wPort += 2) {
        if (PortFree(wPort) && PortFree(static_cast<std::uint16_t>(wPort + 1)))
            return wPort;
    }
    return 0;
}

std::unique_ptr<vtagent::AgentLab> StartLab(std::uint16_t wAgentPort, int nSilent)
{
    vtagent::LabConfig config;
    config.wAgentPort = wAgentPort;
    config.searchListen = {kSearchListener};
    for (int i = 0; i < kAgents; ++i) {
        vtagent::AgentSpec agent;
        agent.dwAddress = kFirstAgent + static_cast<std::uint32_t>(i);
        agent.strName = "PC-" + std::to_string(i + 1);
        agent.bSilent = i >= kAgents - nSilent;
        config.agents.push_back(agent);
    }
    auto pLab = std::make_unique<vtagent::AgentLab>(std::move(config));
    std::string strError;
    if (!pLab->Start(strError)) {
        std::fprintf(stderr, "bench_poll: %s\n", strError.c_str());
        return nullptr;
    }
    return pLab;
}

bool WaitIdle(const CKwvtClient& client)
{
    const auto end = Clock::now() + 10s;
    while (client.m_bBusy.load() && Clock::now() < end)
        std::this_thread::sleep_for(1ms);
    return !client.m_bBusy.load();
}

void Drain(CKwvtClient& client)
{
    for (int i = 0; i < 2 * kAgents && !client.PopResult().empty(); ++i) {
    }
}

// One status poll of all 254 agents; nSilent of them never answer.
bool Poll(CKwvtClient& client, Receiver& receiver, const std::string& strName, int nSilent, int nQuietMs)
{
    std::vector<std::uint32_t> addresses;
    for (int i = 0; i < kAgents; ++i)
        addresses.push_back(htonl(kFirstAgent + static_cast<std::uint32_t>(i)));
    if (!WaitIdle(client))
        return false;
    receiver.Reset();
    const auto start = Clock::now();
    if (!client.RequestStatus(addresses) || !receiver.WaitDone(60s)) {
        std::fprintf(stderr, "bench_poll: %s did not complete\n", strName.c_str());
        return false;
    }
    Drain(client);
    std::lock_guard lock(receiver.m_mutex);
    const double dTotal = Ms(*receiver.m_done - start);
    const double dLast = receiver.m_lastAnswer ? Ms(*receiver.m_lastAnswer - start) : 0.0;
    // The quiet time is waited out only when some PC stays silent.
    const double dQuiet = receiver.m_nSilent > 0 ? nQuietMs : 0.0;
    const double dOverhead = dTotal - (dLast + dQuiet + kSilentPauseMs * receiver.m_nSilent);
    std::printf("%s_received: %d\n", strName.c_str(), receiver.m_nAnswered);
    std::printf("%s_lost: %d\n", strName.c_str(), (kAgents - nSilent) - receiver.m_nAnswered);
    std::printf("%s_silent_records: %d\n", strName.c_str(), receiver.m_nSilent);
    std::printf("%s_last_reply_ms: %.1f\n", strName.c_str(), dLast);
    std::printf("%s_total_ms: %.1f\n", (strName + (nSilent == 0 ? "_allanswer" : "")).c_str(), dTotal);
    std::printf("%s_overhead_ms: %.1f\n", strName.c_str(), dOverhead);
    std::printf("%s_error: %d\n", strName.c_str(), receiver.m_nError);
    std::fflush(stdout);
    return true;
}

bool Search(CKwvtClient& client, Receiver& receiver)
{
    if (!WaitIdle(client))
        return false;
    receiver.Reset();
    const auto start = Clock::now();
    if (!client.RequestSearch() || !receiver.WaitDone(120s)) {
        std::fprintf(stderr, "bench_poll: the search did not complete\n");
        return false;
    }
    Drain(client);
    std::lock_guard lock(receiver.m_mutex);
    std::printf("search254_found: %d\n", receiver.m_nAnswered);
    std::printf("search254_last_reply_ms: %.1f\n",
                receiver.m_lastAnswer ? Ms(*receiver.m_lastAnswer - start) : 0.0);
    std::printf("search254_total_ms: %.1f\n", Ms(*receiver.m_done - start));
    std::printf("search254_error: %d\n", receiver.m_nError);
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    int nQuietMs = 3000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--quiet-ms") == 0)
            nQuietMs = std::atoi(argv[++i]);
    }
    // Keep any settings the worker might touch away from the user's own.
    char szConfig[] = "/tmp/bench_poll_XXXXXX";
    if (::mkdtemp(szConfig))
        ::setenv("XDG_CONFIG_HOME", szConfig, 1);

    const std::uint16_t wPort = PickServerPort();
    if (wPort == 0) {
        std::fprintf(stderr, "bench_poll: no free port pair\n");
        return 1;
    }
    const auto wAgentPort = static_cast<std::uint16_t>(wPort + 1);

    Receiver receiver;
    ClientHooks hooks;
    hooks.fnConfig = [wPort] { return ClientConfig{0, wPort}; };
    hooks.dwSearchDestination = kSearchListener;
    hooks.nQuietMs = nQuietMs;
    CKwvtClient* pClient = CKwvtClient::Start(&receiver, hooks);
    if (!pClient) {
        std::fprintf(stderr, "bench_poll: the worker did not start\n");
        return 1;
    }

    bool bOk = true;
    {
        auto pLab = StartLab(wAgentPort, 0);
        bOk = pLab && Poll(*pClient, receiver, "poll254", 0, nQuietMs) && Search(*pClient, receiver);
    }
    if (bOk) {
        auto pLab = StartLab(wAgentPort, 54);
        bOk = pLab && Poll(*pClient, receiver, "poll200of254", 54, nQuietMs);
    }
    pClient->Stop();
    ::rmdir(szConfig);
    return bOk ? 0 : 1;
}
