// The design values of the print job that toolbar and monitor files go
// through; the browser window's job starts from the same values.
#pragma once

namespace velm {

class TPrintFile;

void SetToolbarJobDesignValues(TPrintFile& job);

} // namespace velm
