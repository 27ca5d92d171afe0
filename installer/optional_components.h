#pragma once

// The steps of the installation run around the product's own files: each acts only when its option is
// ticked as the run reaches it.

class TForm1;

namespace run {

// Before the placement pass.
void sample_database(TForm1 &form);
void nfe_files(TForm1 &form);

// After the placement pass, in this order.
void firebird(TForm1 &form);
void ultravnc(TForm1 &form);
void ibo_console(TForm1 &form);
void configuration(TForm1 &form);
void completion(TForm1 &form);

} // namespace run
