#include "doctest.h"

#include "core/AppContext.h"
#include "core/Error.h"

#include <windows.h>

#include <thread>

static Str Joined(const StrArray& arguments)
{
    Str all;
    for (int64_t i = 0; i < arguments.length(); i++) {
        all.append(Str(L"<"));
        all.append(arguments.at(i));
        all.append(Str(L">"));
    }
    return all;
}

TEST_SUITE("context") {

TEST_CASE("command-line splitting with quotes and backslashes")
{
    CHECK(SplitCommandLine(L"setup.exe").length() == 0);
    CHECK(Joined(SplitCommandLine(L"setup.exe --UPDATE \"C:\\Program Files\\A\\\\\"")) ==
          L"<--UPDATE><C:\\Program Files\\A\\>");
    // a single backslash before the closing quote is read as a literal quote mark
    CHECK(Joined(SplitCommandLine(L"setup.exe \"C:\\A\\\" next")) == L"<C:\\A\" next>");
    CHECK(Joined(SplitCommandLine(L"p a\\\\b \"x y\" --update")) == L"<a\\\\b><x y><--update>");
}

TEST_CASE("a context binds to its thread and unbinds on destroy")
{
    AppContext context = {};
    CreateAppContext(&context, GetModuleHandleW(nullptr));
    CHECK(CurrentAppContext() == &context);
    CHECK(context.exitCode == 0);
    CHECK(AppInstance() == GetModuleHandleW(nullptr));
    Str path = ModuleFileName();
    CHECK(path.length() > 4);
    CHECK(StrArray(AppArguments()).length() == context.arguments.length());

    bool threw = false;
    std::thread other([&] {
        try {
            AppArguments();
        } catch (const InternalError&) {
            threw = true;
        }
    });
    other.join();
    CHECK(threw);

    DestroyAppContext(&context);
    CHECK_THROWS_AS(CurrentAppContext(), InternalError);
    CHECK(context.arguments.isNull());
}

} // TEST_SUITE
