// The board's entry point.
#include "application/orlido.h"
#include "platform/desktop.h"

#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    // The board starts itself again as the guardian of the task bar it hides.
    if (!arguments.empty() && arguments.front() == platform::kDockGuardianOption)
        return platform::RunDockGuardian({ arguments.begin() + 1, arguments.end() });
    COrlidoApp app;
    return app.Run(arguments);
}
