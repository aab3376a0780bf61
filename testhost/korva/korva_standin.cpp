/*
 * korva_standin.cpp - stand-in for the host library KORVA.dll
 *
 * Implements the host operations the product calls (client block, diagnostic
 * log, parse lock, VN35 version query) with recognisable, recorded behaviour,
 * plus the inspection interface declared in korva_standin.h.
 *
 * All mutable state is guarded by one critical section set up in DllMain.
 * The parse lock is a real Win32 mutex; nobody waits on it while holding the
 * state lock.
 */

#include "korva_standin.h"
#include "../common/standin_common.h"

#include <new>

using standin::CsGuard;

namespace {

const char TAG[] = "[KORVA.dll] ";
const char VN35_TEXT[] = "3.5.0";

enum LogTarget
{
    LOG_MEMORY,
    LOG_CONSOLE,
    LOG_FILE
};

struct Settings
{
    bool refuse_lock;
    DWORD lock_timeout;
    int32_t logstate;
    int32_t vn35_sel1;
    int32_t vn35_sel0;
    LogTarget log_target;
    std::string log_path;
    bool trace;
};

struct Record
{
    std::string area;
    int32_t msgno;
    std::string text;
    int32_t block_ok;
};

struct Vn35Call
{
    int32_t selector;
    int32_t size;
    int32_t zero_filled;
};

enum Counter
{
    C_INITBLK,
    C_DIAGLOG,
    C_LOGSTATE,
    C_LOCK_GET,
    C_LOCK_GRANTED,
    C_LOCK_RELEASE,
    C_LOCK_UNBALANCED,
    C_VN35,
    C_COUNT
};

const char *const counter_names[C_COUNT] = {
    "initblk", "diaglog", "logstate", "lock_get",
    "lock_granted", "lock_release", "lock_unbalanced", "vn35",
};

CRITICAL_SECTION state_cs;
HANDLE parse_lock;

Settings settings;
std::vector<Record> records;
std::vector<Vn35Call> vn35_calls;
int32_t counters[C_COUNT];

/* Client block serials are process-wide and survive standin_reset. */
int32_t last_serial;
bool last_serial_used;

/* Reads the KORVA_STANDIN_* variables.  Called with state_cs held (or during
 * process attach). */
void load_settings(void)
{
    std::string value;
    int32_t number;

    settings.refuse_lock = standin::read_env("KORVA_STANDIN_LOCK", value) && value == "refuse";

    settings.lock_timeout = INFINITE;
    if (standin::read_env("KORVA_STANDIN_LOCK_TIMEOUT", value) &&
        standin::parse_int32(value, &number) && number >= 0)
        settings.lock_timeout = (DWORD)number;

    settings.logstate = 0;
    if (standin::read_env("KORVA_STANDIN_LOGSTATE", value) && standin::parse_int32(value, &number))
        settings.logstate = number;

    settings.vn35_sel1 = 0;
    if (standin::read_env("KORVA_STANDIN_VN35", value) && standin::parse_int32(value, &number))
        settings.vn35_sel1 = number;

    settings.vn35_sel0 = 0;
    if (standin::read_env("KORVA_STANDIN_VN35_SEL0", value) && standin::parse_int32(value, &number))
        settings.vn35_sel0 = number;

    settings.log_target = LOG_MEMORY;
    settings.log_path.clear();
    if (standin::read_env("KORVA_STANDIN_LOG", value) && !value.empty())
    {
        if (value == "console")
            settings.log_target = LOG_CONSOLE;
        else
        {
            settings.log_target = LOG_FILE;
            settings.log_path = value;
        }
    }

    settings.trace = standin::read_env("KORVA_STANDIN_TRACE", value) && value == "1";
}

bool tracing(void)
{
    CsGuard guard(&state_cs);
    return settings.trace;
}

/* Prints "[KORVA.dll] <call> -> <result>" when tracing is on. */
void trace_call(const char *call, int32_t result)
{
    if (!tracing())
        return;
    try
    {
        std::string line(TAG);
        line += call;
        line += " -> ";
        line += standin::int_text(result);
        line += '\n';
        standin::write_stdout(line);
    }
    catch (...)
    {
        /* Out of memory: the trace line is dropped. */
    }
}

} /* namespace */

/* ---- Host operations ---------------------------------------------------- */

extern "C" int32_t __cdecl KORVA_CLIENT_INITBLK(void *block80)
{
    int32_t serial = 0;
    {
        CsGuard guard(&state_cs);
        counters[C_INITBLK]++;
        if (block80)
        {
            serial = ++last_serial;
            last_serial_used = false;
        }
    }
    if (!block80)
    {
        trace_call("KORVA_CLIENT_INITBLK", -1);
        return -1;
    }

    unsigned char *block = (unsigned char *)block80;
    memcpy(block, KORVA_STANDIN_BLOCK_MAGIC, 4);
    memcpy(block + 4, &serial, 4);
    for (int i = 8; i < KORVA_STANDIN_BLOCK_SIZE; i++)
        block[i] = KORVA_STANDIN_BLOCK_PATTERN(i);

    trace_call("KORVA_CLIENT_INITBLK", 0);
    return 0;
}

extern "C" int32_t __cdecl KORVA_DIAG_LOG(const char *area, int32_t msgno, const char *text,
                                          void *block80)
{
    try
    {
        Record rec;
        rec.area = area ? area : "";
        rec.msgno = msgno;
        rec.text = text ? text : "";
        rec.block_ok = 0;

        bool magic_ok = false;
        int32_t serial = 0;
        if (block80)
        {
            const unsigned char *block = (const unsigned char *)block80;
            magic_ok = !memcmp(block, KORVA_STANDIN_BLOCK_MAGIC, 4);
            memcpy(&serial, block + 4, 4);
        }

        LogTarget target;
        std::string path;
        bool trace;
        {
            CsGuard guard(&state_cs);
            counters[C_DIAGLOG]++;
            if (magic_ok && last_serial > 0 && serial == last_serial)
            {
                rec.block_ok = last_serial_used ? 0 : 1;
                last_serial_used = true;
            }
            target = settings.log_target;
            path = settings.log_path;
            trace = settings.trace;
            records.push_back(rec);
        }

        if (target != LOG_MEMORY)
        {
            std::string line(TAG);
            line += "DIAG_LOG area=";
            line += rec.area;
            line += " msgno=";
            line += standin::int_text(msgno);
            line += " text=";
            line += rec.text;
            if (rec.text.empty() || rec.text[rec.text.size() - 1] != '\n')
                line += '\n';
            if (target == LOG_CONSOLE)
                standin::write_stdout(line);
            else
                standin::append_to_file(path, line);
        }

        if (trace)
        {
            std::string line(TAG);
            line += "KORVA_DIAG_LOG(";
            if (area)
                standin::append_quoted(line, rec.area);
            else
                line += "NULL";
            line += ", ";
            line += standin::int_text(msgno);
            line += ") -> 0\n";
            standin::write_stdout(line);
        }
    }
    catch (...)
    {
        /* Out of memory: the record is lost, the caller is not disturbed. */
    }
    return 0;
}

extern "C" int32_t __cdecl KORVA_DIAG_LOGSTATE(void)
{
    int32_t answer;
    {
        CsGuard guard(&state_cs);
        counters[C_LOGSTATE]++;
        answer = settings.logstate;
    }
    trace_call("KORVA_DIAG_LOGSTATE", answer);
    return answer;
}

extern "C" int32_t __cdecl KORVA_USR_GET_PARSEBUF_MUTEX(void)
{
    bool refuse;
    DWORD timeout;
    {
        CsGuard guard(&state_cs);
        counters[C_LOCK_GET]++;
        refuse = settings.refuse_lock;
        timeout = settings.lock_timeout;
    }

    int32_t granted = 0;
    if (!refuse && parse_lock)
    {
        DWORD rc = WaitForSingleObject(parse_lock, timeout);
        /* An abandoned mutex is owned by the caller all the same. */
        granted = (rc == WAIT_OBJECT_0 || rc == WAIT_ABANDONED) ? 1 : 0;
    }

    if (granted)
    {
        CsGuard guard(&state_cs);
        counters[C_LOCK_GRANTED]++;
    }
    trace_call("KORVA_USR_GET_PARSEBUF_MUTEX", granted);
    return granted;
}

extern "C" int32_t __cdecl KORVA_USR_RELEASE_PARSEBUF_MUTEX(void)
{
    int32_t released = (parse_lock && ReleaseMutex(parse_lock)) ? 1 : 0;
    {
        CsGuard guard(&state_cs);
        counters[released ? C_LOCK_RELEASE : C_LOCK_UNBALANCED]++;
    }
    trace_call("KORVA_USR_RELEASE_PARSEBUF_MUTEX", released);
    return released;
}

extern "C" int32_t __cdecl KORVA_GetCurrentVN35Version(int32_t selector, char *buf, int32_t size)
{
    Vn35Call call;
    call.selector = selector;
    call.size = size;
    call.zero_filled = 0;
    if (buf && size > 0)
    {
        call.zero_filled = 1;
        for (int32_t i = 0; i < size; i++)
        {
            if (buf[i])
            {
                call.zero_filled = 0;
                break;
            }
        }
    }

    int32_t answer;
    {
        CsGuard guard(&state_cs);
        counters[C_VN35]++;
        try
        {
            vn35_calls.push_back(call);
        }
        catch (...)
        {
            /* Out of memory: the call goes unrecorded. */
        }
        if (selector == 1)
            answer = settings.vn35_sel1;
        else if (selector == 0)
            answer = settings.vn35_sel0;
        else
            answer = -1;
    }

    /* Unknown selectors get an empty text. */
    if (buf && size > 0)
    {
        if (selector == 0 || selector == 1)
            standin::copy_out(VN35_TEXT, buf, size);
        else
            buf[0] = 0;
    }

    if (tracing())
    {
        try
        {
            std::string call_text("KORVA_GetCurrentVN35Version(");
            call_text += standin::int_text(selector);
            call_text += ", ";
            call_text += standin::int_text(size);
            call_text += ')';
            trace_call(call_text.c_str(), answer);
        }
        catch (...)
        {
            /* Out of memory: the trace line is dropped. */
        }
    }
    return answer;
}

/* ---- Inspection interface ----------------------------------------------- */

extern "C" void __cdecl standin_reset(void)
{
    CsGuard guard(&state_cs);
    records.clear();
    vn35_calls.clear();
    for (int i = 0; i < C_COUNT; i++)
        counters[i] = 0;
    try
    {
        load_settings();
    }
    catch (...)
    {
    }
}

extern "C" void __cdecl standin_set_lock_mode(int32_t refuse)
{
    CsGuard guard(&state_cs);
    settings.refuse_lock = refuse != 0;
}

extern "C" void __cdecl standin_set_lock_timeout(uint32_t ms)
{
    CsGuard guard(&state_cs);
    settings.lock_timeout = ms;
}

extern "C" void __cdecl standin_set_logstate(int32_t v)
{
    CsGuard guard(&state_cs);
    settings.logstate = v;
}

extern "C" void __cdecl standin_set_vn35(int32_t sel1_answer, int32_t sel0_answer)
{
    CsGuard guard(&state_cs);
    settings.vn35_sel1 = sel1_answer;
    settings.vn35_sel0 = sel0_answer;
}

extern "C" int32_t __cdecl standin_record_count(void)
{
    CsGuard guard(&state_cs);
    return (int32_t)records.size();
}

extern "C" int32_t __cdecl standin_record(int32_t i, char *area, int32_t areasize, int32_t *msgno,
                                          char *text, int32_t textsize, int32_t *block_ok)
{
    CsGuard guard(&state_cs);
    if (i < 0 || (size_t)i >= records.size())
        return -1;

    const Record &rec = records[i];
    standin::copy_out(rec.area, area, areasize);
    if (msgno)
        *msgno = rec.msgno;
    if (block_ok)
        *block_ok = rec.block_ok;
    return standin::copy_out(rec.text, text, textsize);
}

extern "C" int32_t __cdecl standin_counter(const char *name)
{
    if (!name)
        return -1;
    CsGuard guard(&state_cs);
    for (int i = 0; i < C_COUNT; i++)
        if (!strcmp(name, counter_names[i]))
            return counters[i];
    return -1;
}

extern "C" int32_t __cdecl standin_lock_depth(void)
{
    CsGuard guard(&state_cs);
    return counters[C_LOCK_GRANTED] - counters[C_LOCK_RELEASE];
}

extern "C" int32_t __cdecl standin_vn35_call(int32_t i, int32_t *selector, int32_t *size,
                                             int32_t *zero_filled)
{
    CsGuard guard(&state_cs);
    if (i < 0 || (size_t)i >= vn35_calls.size())
        return -1;

    const Vn35Call &call = vn35_calls[i];
    if (selector)
        *selector = call.selector;
    if (size)
        *size = call.size;
    if (zero_filled)
        *zero_filled = call.zero_filled;
    return 0;
}

/* ---- Loading ------------------------------------------------------------ */

/* Unloaded by FreeLibrary: everything this library holds goes back to the
 * heap, so that a host loading and unloading it loses nothing per cycle. */
static void release_everything(void)
{
    std::vector<Record>().swap(records);
    std::vector<Vn35Call>().swap(vn35_calls);
    std::string().swap(settings.log_path);
    standin::release_runtime();
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    switch (reason)
    {
    case DLL_PROCESS_ATTACH:
        DisableThreadLibraryCalls(instance);
        parse_lock = CreateMutexA(NULL, FALSE, NULL);
        if (!parse_lock)
            return FALSE;
        InitializeCriticalSection(&state_cs);
        try
        {
            load_settings();
        }
        catch (...)
        {
            DeleteCriticalSection(&state_cs);
            CloseHandle(parse_lock);
            parse_lock = NULL;
            return FALSE;
        }
        break;

    case DLL_PROCESS_DETACH:
        /* At process exit other threads may have been stopped inside the
         * critical section; leave everything to the system then. */
        if (!reserved)
        {
            release_everything();
            DeleteCriticalSection(&state_cs);
            CloseHandle(parse_lock);
            parse_lock = NULL;
        }
        break;
    }
    return TRUE;
}
