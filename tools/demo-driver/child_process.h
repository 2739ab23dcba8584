// A child program whose standard output and error come back as lines, and whose standard input
// takes lines: the demo driver and the end-to-end Wine tests start the game, the peer and the
// injector with it. Header-only so that the Wine tests can use it without a library.
//
// Only the child's ends of the anonymous pipes are inheritable, and only while CreateProcess
// runs, so one child never holds another's pipe open and every reader sees its end of file.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class ChildProcess {
  public:
    using LineHandler = std::function<void(const std::string&)>;

    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() { Stop(0); }

    // Starts `commandLine`; `onLine` (optional) sees each line as it arrives, on the reader
    // thread. With `withInput` false the child's standard input is empty.
    bool Start(const std::string& commandLine, bool withInput, LineHandler onLine = nullptr) {
        SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
        HANDLE outRead = nullptr, outWrite = nullptr, inRead = nullptr, inWrite = nullptr;
        if (!CreatePipe(&outRead, &outWrite, &inheritable, 0))
            return false;
        SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
        if (!CreatePipe(&inRead, &inWrite, &inheritable, 0)) {
            CloseHandle(outRead);
            CloseHandle(outWrite);
            return false;
        }
        SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);

        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = inRead;
        startup.hStdOutput = outWrite;
        startup.hStdError = outWrite;
        PROCESS_INFORMATION info = {};
        std::string command = commandLine;
        BOOL started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &info);
        CloseHandle(outWrite);
        CloseHandle(inRead);
        if (!started || !withInput) {
            CloseHandle(inWrite);
            inWrite = nullptr;
        }
        if (!started) {
            CloseHandle(outRead);
            return false;
        }
        CloseHandle(info.hThread);
        process_ = info.hProcess;
        pid_ = info.dwProcessId;
        input_ = inWrite;
        shared_ = std::make_shared<Shared>();
        shared_->pipe = outRead;
        shared_->onLine = std::move(onLine);
        auto* ticket = new std::shared_ptr<Shared>(shared_);
        HANDLE reader = CreateThread(nullptr, 0, ReadLines, ticket, 0, nullptr);
        if (reader == nullptr)
            delete ticket;
        else
            CloseHandle(reader);
        return true;
    }

    // Writes one line (a line feed is added) to the child's standard input.
    bool Send(const std::string& line) {
        if (input_ == nullptr)
            return false;
        std::string text = line + "\n";
        DWORD written = 0;
        return WriteFile(input_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
               written == text.size();
    }

    // Index of the first line at or after `from` that contains `text`, waiting up to
    // `timeoutMs` for it; -1 when none came.
    long WaitForLine(const std::string& text, DWORD timeoutMs, size_t from = 0) {
        return WaitFor(
            [&](const std::string& line) { return line.find(text) != std::string::npos; },
            timeoutMs, from);
    }

    long WaitFor(const std::function<bool(const std::string&)>& match, DWORD timeoutMs,
                 size_t from = 0) {
        if (!shared_)
            return -1;
        DWORD begin = GetTickCount();
        for (;;) {
            {
                Guard guard(*shared_);
                for (size_t i = from; i < shared_->lines.size(); ++i)
                    if (match(shared_->lines[i]))
                        return static_cast<long>(i);
                if (shared_->ended)
                    return -1;
            }
            DWORD elapsed = GetTickCount() - begin;
            if (elapsed >= timeoutMs)
                return -1;
            WaitForSingleObject(shared_->arrived, timeoutMs - elapsed);
        }
    }

    std::vector<std::string> Lines(size_t from = 0) const {
        std::vector<std::string> copy;
        if (!shared_)
            return copy;
        Guard guard(*shared_);
        if (from < shared_->lines.size())
            copy.assign(shared_->lines.begin() + static_cast<long>(from), shared_->lines.end());
        return copy;
    }

    size_t LineCount() const {
        if (!shared_)
            return 0;
        Guard guard(*shared_);
        return shared_->lines.size();
    }

    // Waits for the child to end by itself; true when it did within `timeoutMs`.
    bool WaitForExit(DWORD timeoutMs) {
        return process_ == nullptr || WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0;
    }

    DWORD ExitCode() const {
        DWORD code = STILL_ACTIVE;
        if (process_)
            GetExitCodeProcess(process_, &code);
        return code;
    }

    // Closes its input, gives it `graceMs` to end, then terminates it; waits briefly for the
    // last lines.
    void Stop(DWORD graceMs) {
        if (input_) {
            CloseHandle(input_);
            input_ = nullptr;
        }
        if (process_) {
            if (!WaitForExit(graceMs))
                TerminateProcess(process_, 255);
            WaitForSingleObject(process_, 5000);
            CloseHandle(process_);
            process_ = nullptr;
        }
        if (shared_)
            WaitFor([](const std::string&) { return false; }, 1000, ~size_t(0) >> 1);
    }

    DWORD Pid() const { return pid_; }
    HANDLE Process() const { return process_; }

  private:
    struct Shared {
        Shared() {
            InitializeCriticalSection(&lock);
            arrived = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        }
        ~Shared() {
            CloseHandle(arrived);
            if (pipe)
                CloseHandle(pipe);
            DeleteCriticalSection(&lock);
        }
        CRITICAL_SECTION lock;
        HANDLE arrived;
        HANDLE pipe = nullptr;
        LineHandler onLine;
        std::vector<std::string> lines;
        bool ended = false;
    };

    struct Guard {
        explicit Guard(Shared& s) : shared(s) { EnterCriticalSection(&shared.lock); }
        ~Guard() { LeaveCriticalSection(&shared.lock); }
        Shared& shared;
    };

    static void Add(Shared& shared, std::string line) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (shared.onLine)
            shared.onLine(line);
        Guard guard(shared);
        shared.lines.push_back(std::move(line));
        SetEvent(shared.arrived);
    }

    static DWORD WINAPI ReadLines(LPVOID parameter) {
        std::unique_ptr<std::shared_ptr<Shared>> ticket(
            static_cast<std::shared_ptr<Shared>*>(parameter));
        Shared& shared = **ticket;
        std::string pending;
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(shared.pipe, buffer, sizeof buffer, &read, nullptr) && read > 0) {
            pending.append(buffer, read);
            for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
                Add(shared, pending.substr(0, end));
                pending.erase(0, end + 1);
            }
        }
        if (!pending.empty())
            Add(shared, pending);
        Guard guard(shared);
        shared.ended = true;
        SetEvent(shared.arrived);
        return 0;
    }

    HANDLE process_ = nullptr;
    HANDLE input_ = nullptr;
    DWORD pid_ = 0;
    std::shared_ptr<Shared> shared_;
};
