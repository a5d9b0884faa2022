// Locale facts of the running user, behind tiny functions so that tests can switch them.
#pragma once

namespace platform {

// The decimal separator of numbers typed by the user (German ',' or English '.').
char DecimalSeparator();
void SetDecimalSeparator(char c);

// Reads the separator from the process locale (LC_NUMERIC, LANG); called once at start-up by the programs.
void InitLocaleFromEnvironment();

} // namespace platform
