// Texts of the generic readers of the scanner family.
#include "text/parser.h"

Tr errfmt_sym_expected{"parser", "ожидается символ «%1»."};
Tr errfmt_param_again{"parser", "параметр «%1» уже определён выше по тексту."};
Tr errtext_dec_expected{"parser", "ожидается десятичное число"};
Tr errtext_dec_expected_stop{"parser", "ожидается десятичное число."};
Tr errfmt_dec_too_big{"parser", "число слишком большое (должно быть не более %1)"};
Tr errfmt_dec_too_small{"parser", "число слишком маленькое (должно быть не менее %1)."};
