#pragma once
// The TDS test server (tests/tdsserver) run as a child process for one test: started on a
// port the system picks, on 127.0.0.1 only, and killed when this object goes.

#include "platform/Utf.h"

#include <chrono>
#include <csignal>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// The test server, started for one test and killed after it.
class CTdsTestServer
{
public:
    CTdsTestServer(const std::string& binary, std::vector<std::string> args)
    {
        int out[2];
        if (pipe(out) != 0) {
            return;
        }
        args.insert(args.begin(), binary);
        fflush(stdout);
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], 1);
            close(out[0]);
            close(out[1]);
            std::vector<char*> argv;
            for (auto& arg : args) {
                argv.push_back(arg.data());
            }
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(98);
        }
        close(out[1]);
        // The first line is "port N"; bounded by ten seconds.
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (line.find('\n') == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            pollfd entry{out[0], POLLIN, 0};
            if (poll(&entry, 1, 200) != 1) {
                continue;
            }
            char c = 0;
            if (read(out[0], &c, 1) != 1) {
                break;
            }
            line += c;
        }
        m_nOut = out[0];
        if (line.rfind("port ", 0) == 0) {
            m_nPort = std::stoi(line.substr(5));
        }
    }
    ~CTdsTestServer()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_nOut >= 0) {
            close(m_nOut);
        }
    }
    CTdsTestServer(const CTdsTestServer&) = delete;
    CTdsTestServer& operator=(const CTdsTestServer&) = delete;

    std::u16string Name() const
    {
        return u"127.0.0.1," + quarrow::FromAscii(std::to_string(m_nPort));
    }
    std::string NameUtf8() const { return "127.0.0.1," + std::to_string(m_nPort); }
    int GetPort() const { return m_nPort; }

private:
    pid_t m_pid = -1;
    int m_nOut = -1;
    int m_nPort = 0;
};
