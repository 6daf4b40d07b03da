#include "tests/support/app/AppFakes.h"

namespace plugkit
{

// The product of the tests that run the host with a probe plug-in.
IPluginApp* CreateStandalonePlugin(app::StandaloneHost* host)
{
    return new lumenfall::test::ProbePlugin(host);
}

} // namespace plugkit
