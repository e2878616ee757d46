#pragma once

#include <QString>

#include <xlsxwriter.h>

// The spreadsheet writer, loaded the first time a sheet is written. Linked at start-up it would
// bring its compression and cryptography libraries into every start of the program, for a
// feature most sessions never use.
struct XlsxWriterLibrary
{
    decltype(&::workbook_new_opt) workbook_new_opt = nullptr;
    decltype(&::workbook_add_worksheet) workbook_add_worksheet = nullptr;
    decltype(&::workbook_close) workbook_close = nullptr;
    decltype(&::lxw_workbook_free) lxw_workbook_free = nullptr;
    decltype(&::worksheet_write_string) worksheet_write_string = nullptr;
    decltype(&::worksheet_set_column) worksheet_set_column = nullptr;
    decltype(&::lxw_strerror) lxw_strerror = nullptr;

    // The library found under that file name; raises a Failure whose text (to follow a colon)
    // names the library and why it could not be used. Loaded once and kept; safe to call from
    // several threads.
    static const XlsxWriterLibrary &get(const char *fileName = DefaultFileName);
    static constexpr const char *DefaultFileName = "libxlsxwriter.so.4";
};
