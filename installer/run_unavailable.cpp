// The installation run joins the program in files of its own; until then "Instalar" reports that it is
// not available, through the window's failure report.
#include "Unit1.h"

#include "Exception.h"

void TForm1::instalacao() {
  throw Exception("A instalação ainda não está disponível nesta versão");
}
