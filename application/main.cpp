// The board's entry point.
#include "application/orlido.h"

#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    COrlidoApp app;
    return app.Run(arguments);
}
