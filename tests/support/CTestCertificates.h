#pragma once
// Throwaway TLS certificates for one test run, made with the openssl command (no shell) in a
// scratch folder: an authority, a server certificate it signed for 127.0.0.1 and localhost,
// one it signed for another host, and a self-signed one no authority vouches for.

#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

class CTestCertificates
{
public:
    struct SPair
    {
        std::string m_strCertificate;
        std::string m_strKey;
    };

    // Makes everything in folder; IsValid() says whether it worked.
    explicit CTestCertificates(const std::filesystem::path& folder) : m_folder(folder)
    {
        const std::string ca = Path("ca");
        m_bValid =
            Run({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                 "-nodes", "-days", "2", "-subj", "/CN=Quarrow Test Authority", "-keyout",
                 ca + ".key", "-out", ca + ".pem", "-addext", "basicConstraints=critical,CA:TRUE",
                 "-addext", "keyUsage=critical,keyCertSign"}) &&
            Signed("local", "DNS:localhost,IP:127.0.0.1") &&
            Signed("elsewhere", "DNS:elsewhere.invalid") &&
            Run({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                 "-nodes", "-days", "2", "-subj", "/CN=localhost", "-keyout",
                 Path("selfsigned") + ".key", "-out", Path("selfsigned") + ".pem", "-addext",
                 "subjectAltName=DNS:localhost,IP:127.0.0.1"});
        // A second authority that signed none of them.
        m_bValid = m_bValid &&
                   Run({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                        "-nodes", "-days", "2", "-subj", "/CN=Quarrow Other Authority", "-keyout",
                        Path("other") + ".key", "-out", Path("other") + ".pem"});
    }

    bool IsValid() const { return m_bValid; }
    std::string Authority() const { return Path("ca") + ".pem"; }
    std::string OtherAuthority() const { return Path("other") + ".pem"; }
    // Signed by the authority for 127.0.0.1 and localhost.
    SPair Local() const { return Pair("local"); }
    // Signed by the authority for another host name.
    SPair Elsewhere() const { return Pair("elsewhere"); }
    // Signed by nobody but itself.
    SPair SelfSigned() const { return Pair("selfsigned"); }

private:
    std::string Path(const std::string& name) const { return (m_folder / name).string(); }
    SPair Pair(const std::string& name) const { return {Path(name) + ".pem", Path(name) + ".key"}; }

    bool Signed(const std::string& name, const std::string& names)
    {
        const std::string extensions = Path(name) + ".ext";
        {
            FILE* file = fopen(extensions.c_str(), "w");
            if (file == nullptr) {
                return false;
            }
            fprintf(file, "subjectAltName=%s\n", names.c_str());
            fclose(file);
        }
        return Run({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                    "-subj", "/CN=" + name, "-keyout", Path(name) + ".key", "-out",
                    Path(name) + ".csr"}) &&
               Run({"x509", "-req", "-in", Path(name) + ".csr", "-CA", Path("ca") + ".pem",
                    "-CAkey", Path("ca") + ".key", "-CAcreateserial", "-days", "2", "-extfile",
                    extensions, "-out", Path(name) + ".pem"});
    }

    // openssl with these arguments, its output discarded; true when it exits 0.
    static bool Run(std::vector<std::string> args)
    {
        args.insert(args.begin(), "openssl");
        const pid_t pid = fork();
        if (pid < 0) {
            return false;
        }
        if (pid == 0) {
            const int sink = open("/dev/null", O_WRONLY);
            dup2(sink, 1);
            dup2(sink, 2);
            std::vector<char*> argv;
            for (auto& arg : args) {
                argv.push_back(arg.data());
            }
            argv.push_back(nullptr);
            execvp("openssl", argv.data());
            _exit(127);
        }
        int status = 0;
        return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    std::filesystem::path m_folder;
    bool m_bValid = false;
};
