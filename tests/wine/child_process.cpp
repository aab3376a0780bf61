#include <stdlib.h>
#include <string.h>

#include <windows.h>

#include "child_process.h"

namespace {

/* Sets env in this process for the lifetime of the object (the child
 * inherits it), then puts the previous values back. */
class scoped_env {
public:
    explicit scoped_env(const std::vector<env_var> &env)
    {
        for (const env_var &v : env) {
            saved s;
            s.name = v.name;
            DWORD n = GetEnvironmentVariableA(v.name, NULL, 0);
            s.present = n != 0;
            if (s.present) {
                s.value.resize(n);
                n = GetEnvironmentVariableA(v.name, &s.value[0], n);
                s.value.resize(n);
            }
            saved_.push_back(s);
            SetEnvironmentVariableA(v.name, v.value);
        }
    }
    ~scoped_env()
    {
        for (size_t i = saved_.size(); i-- > 0;)
            SetEnvironmentVariableA(saved_[i].name.c_str(),
                                    saved_[i].present ? saved_[i].value.c_str() : NULL);
    }

private:
    struct saved {
        std::string name, value;
        bool present;
    };
    std::vector<saved> saved_;
};

struct handle {
    HANDLE h = NULL;
    ~handle() { if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h); }
};

std::string self_path()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, path, sizeof(path));
    return std::string(path, n < sizeof(path) ? n : 0);
}

} /* namespace */

int run_program(const std::string &command_line, const std::vector<env_var> &env, std::string *out)
{
    out->clear();
    SECURITY_ATTRIBUTES sa = {sizeof(sa), NULL, TRUE};
    handle read_end, write_end;
    if (!CreatePipe(&read_end.h, &write_end.h, &sa, 0)) return -1;
    SetHandleInformation(read_end.h, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA si;
    memset(&si, 0, sizeof(si));
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = NULL;
    si.hStdOutput = write_end.h;
    si.hStdError = write_end.h;

    PROCESS_INFORMATION pi;
    std::vector<char> cmd(command_line.begin(), command_line.end());
    cmd.push_back(0);
    {
        scoped_env scope(env);
        if (!CreateProcessA(NULL, cmd.data(), NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi)) return -1;
    }
    handle process, thread;
    process.h = pi.hProcess;
    thread.h = pi.hThread;
    CloseHandle(write_end.h);
    write_end.h = NULL;

    char buf[4096];
    DWORD got;
    while (ReadFile(read_end.h, buf, sizeof(buf), &got, NULL) && got) out->append(buf, got);

    DWORD code;
    if (WaitForSingleObject(process.h, 60000) != WAIT_OBJECT_0) {
        TerminateProcess(process.h, 1);
        return -1;
    }
    if (!GetExitCodeProcess(process.h, &code)) return -1;
    return (int)code;
}

int run_self(const char *test, const std::vector<env_var> &env, std::string *out)
{
    return run_program("\"" + self_path() + "\" " + test, env, out);
}

std::string beside_self(const char *file)
{
    std::string path = self_path();
    size_t slash = path.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + file;
}

bool named_on_command_line()
{
    return __argc > 1;
}

bool output_value(const std::string &out, const char *key, std::string *value)
{
    std::string prefix = std::string(key) + "=";
    size_t pos = 0;
    while (pos < out.size()) {
        size_t end = out.find('\n', pos);
        if (end == std::string::npos) end = out.size();
        std::string line = out.substr(pos, end - pos);
        if (!line.empty() && line[line.size() - 1] == '\r') line.erase(line.size() - 1);
        if (line.compare(0, prefix.size(), prefix) == 0) {
            *value = line.substr(prefix.size());
            return true;
        }
        pos = end + 1;
    }
    return false;
}

long output_number(const std::string &out, const char *key, long fallback)
{
    std::string value;
    if (!output_value(out, key, &value) || value.empty()) return fallback;
    char *end;
    long n = strtol(value.c_str(), &end, 0);
    return *end ? fallback : n;
}
