// Texts of the generic readers of the scanner family.
#include "text/parser.h"

Tr errfmt_sym_expected{TR_TEXT("parser", "ожидается символ «%1».")};
Tr errfmt_param_again{TR_TEXT("parser", "параметр «%1» уже определён выше по тексту.")};
Tr errtext_dec_expected{TR_TEXT("parser", "ожидается десятичное число")};
Tr errtext_dec_expected_stop{TR_TEXT("parser", "ожидается десятичное число.")};
Tr errfmt_dec_too_big{TR_TEXT("parser", "число слишком большое (должно быть не более %1)")};
Tr errfmt_dec_too_small{TR_TEXT("parser", "число слишком маленькое (должно быть не менее %1).")};
