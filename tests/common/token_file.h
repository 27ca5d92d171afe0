#pragma once

namespace queryd_test {

// Points the service access at a token file of this test program's own, holding the installer's
// default token (the one velacorte-queryd accepts by default), so that test programs running side by
// side never read each other's half-written file.
void use_default_token();

} // namespace queryd_test
