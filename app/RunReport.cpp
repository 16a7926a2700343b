#include "app/RunReport.h"

int RunReport::ExitStatus() const
{
    switch (mode) {
    case Mode::AllDevices:
        return devices == 0 || failed > 0 ? 1 : 0;
    case Mode::SingleTerminal:
        return failed > 0 ? 1 : 0;
    case Mode::Interactive:
        return gateResult == 2 || gateResult == -1 ? 0 : 1;
    }
    return 1;
}
