// vantis-client-gtk: the client in a desktop window.
//   vantis-client-gtk [--runWithoutUpdating] --gameId=ID --path=DIR [client options]
#include <gtk/gtk.h>

#include <cstdio>

#include <string>
#include <vector>

#include "app/ClientStartup.h"
#include "common/ApplicationEnvironment.h"
#include "common/ClientSecrets.h"
#include "common/EReturnCode.h"
#include "common/Logger.h"
#include "common/Utilities.h"
#include "gtk/GtkShell.h"

using namespace VantisClient;

int main(int argc, char** argv) {
    // The window signs in on its page: a password meant for the headless
    // client goes no further, least of all to the programs this one starts.
    ClientSecrets::TakePassword();
    const std::vector<std::string> arguments(argv, argv + argc);
    ClientStartup startup(arguments, {});
    int code = startup.initialise();
    if (code == RC_ANOTHER_INSTANCE_RUNNING) {
        if (!GtkShell::HandOverToRunningInstance(arguments)) Logger::LogInfo("Nothing handed to the running client");
        return code;
    }
    if (code != RC_SUCCESS) return code;
    // The updater relaunches the shell that asked for it.
    code = startup.launch(Utilities::AppendPath(ApplicationEnvironment::GetExecutableDirectoryPath(),
                                                "bin/vantis-client-gtk"),
                          {});
    if (code != RC_SUCCESS) return code;
    if (!gtk_init_check(nullptr, nullptr)) {
        Logger::LogError("No display to open the window on");
        std::fprintf(stderr, "vantis-client-gtk: no display to open the window on\n");
        return 1;
    }
    GtkShell shell(startup);
    return shell.run();
}
