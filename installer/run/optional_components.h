#pragma once

// The steps of the installation run around the product's own files: each acts only when its option is
// ticked as the run reaches it. A component package that is not placed is counted in the outcome.

class TForm1;
class RunOutcome;

namespace run {

// Before the placement pass.
void sample_database(TForm1 &form, RunOutcome &outcome);
void nfe_files(TForm1 &form, RunOutcome &outcome);

// After the placement pass, in this order.
void firebird(TForm1 &form, RunOutcome &outcome);
void ultravnc(TForm1 &form);
void ibo_console(TForm1 &form);
void configuration(TForm1 &form);
// The uninstall entry and the end of the run: "Concluído", or "Concluído com falhas" and the summary box
// when something was not placed.
void completion(TForm1 &form, const RunOutcome &outcome);

} // namespace run
