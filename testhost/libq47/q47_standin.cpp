/*
 * q47_standin.cpp - stand-in for the host library libq47.dll
 *
 * q47_getenv answers from a settable table first and then, unless that is
 * switched off, from the process environment.  Every name asked is recorded
 * for the inspection interface declared in korva_standin.h.
 *
 * Strings handed out by q47_getenv are kept until q47standin_reset, so a
 * caller may keep using one after the call even when another thread changes
 * the table meanwhile.
 */

#include "korva_standin.h"
#include "../common/standin_common.h"

#include <list>
#include <map>

using standin::CsGuard;

namespace {

const char TAG[] = "[libq47.dll] ";

CRITICAL_SECTION state_cs;

std::map<std::string, std::string> table;
bool env_fallback;
bool trace;
std::vector<std::string> lookups;

/* Every string returned so far, per name, newest last.  List elements never
 * move, so the pointers handed out stay valid until the list is cleared. */
std::map<std::string, std::list<std::string> > handed_out;

/* Reads Q47_STANDIN_VARS ("NAME=value;NAME2=value2"), Q47_STANDIN_ENV and
 * KORVA_STANDIN_TRACE.  Called with state_cs held (or during process attach). */
void load_settings(void)
{
    std::string value;

    table.clear();
    if (standin::read_env("Q47_STANDIN_VARS", value))
    {
        size_t pos = 0;
        while (pos <= value.size())
        {
            size_t end = value.find(';', pos);
            if (end == std::string::npos)
                end = value.size();
            std::string entry = value.substr(pos, end - pos);
            size_t eq = entry.find('=');
            /* Entries without '=' are ignored; "NAME=" defines an empty value. */
            if (eq != std::string::npos)
                table[entry.substr(0, eq)] = entry.substr(eq + 1);
            pos = end + 1;
        }
    }

    env_fallback = !(standin::read_env("Q47_STANDIN_ENV", value) && value == "0");
    trace = standin::read_env("KORVA_STANDIN_TRACE", value) && value == "1";
}

} /* namespace */

/* ---- Host operation ----------------------------------------------------- */

extern "C" char *__cdecl q47_getenv(const char *name)
{
    char *result = NULL;
    try
    {
        std::string key(name ? name : "");
        std::string value;
        bool found = false;
        bool fallback;
        bool tracing;
        {
            CsGuard guard(&state_cs);
            lookups.push_back(key);
            std::map<std::string, std::string>::const_iterator it = table.find(key);
            if (it != table.end())
            {
                value = it->second;
                found = true;
            }
            fallback = env_fallback;
            tracing = trace;
        }

        if (!found && fallback && !key.empty())
            found = standin::read_env(key.c_str(), value);

        if (found)
        {
            CsGuard guard(&state_cs);
            std::list<std::string> &kept = handed_out[key];
            if (kept.empty() || kept.back() != value)
                kept.push_back(value);
            result = &kept.back()[0];
        }

        if (tracing)
        {
            std::string line(TAG);
            line += "q47_getenv(";
            if (name)
                standin::append_quoted(line, key);
            else
                line += "NULL";
            line += ") -> ";
            if (found)
                standin::append_quoted(line, value);
            else
                line += "NULL";
            line += '\n';
            standin::write_stdout(line);
        }
    }
    catch (...)
    {
        /* Out of memory: whatever was resolved is still returned. */
    }
    return result;
}

/* ---- Inspection interface ----------------------------------------------- */

extern "C" void __cdecl q47standin_reset(void)
{
    CsGuard guard(&state_cs);
    lookups.clear();
    handed_out.clear();
    try
    {
        load_settings();
    }
    catch (...)
    {
    }
}

extern "C" void __cdecl q47standin_set(const char *name, const char *value)
{
    try
    {
        std::string key(name ? name : "");
        CsGuard guard(&state_cs);
        if (value)
            table[key] = value;
        else
            table.erase(key);
    }
    catch (...)
    {
    }
}

extern "C" void __cdecl q47standin_set_env_fallback(int32_t on)
{
    CsGuard guard(&state_cs);
    env_fallback = on != 0;
}

extern "C" int32_t __cdecl q47standin_lookup_count(void)
{
    CsGuard guard(&state_cs);
    return (int32_t)lookups.size();
}

extern "C" int32_t __cdecl q47standin_lookup_name(int32_t i, char *buf, int32_t size)
{
    CsGuard guard(&state_cs);
    if (i < 0 || (size_t)i >= lookups.size())
        return -1;
    return standin::copy_out(lookups[i], buf, size);
}

/* ---- Loading ------------------------------------------------------------ */

/* Unloaded by FreeLibrary: everything this library holds goes back to the
 * heap, so that a host loading and unloading it loses nothing per cycle. */
static void release_everything(void)
{
    std::map<std::string, std::string>().swap(table);
    std::vector<std::string>().swap(lookups);
    std::map<std::string, std::list<std::string> >().swap(handed_out);
    standin::release_runtime();
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    switch (reason)
    {
    case DLL_PROCESS_ATTACH:
        DisableThreadLibraryCalls(instance);
        InitializeCriticalSection(&state_cs);
        try
        {
            load_settings();
        }
        catch (...)
        {
            DeleteCriticalSection(&state_cs);
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
        }
        break;
    }
    return TRUE;
}
