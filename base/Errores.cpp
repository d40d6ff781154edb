#include "Errores.h"

#include <cmath>

double Dividir(double a, double b) {
    if (b == 0.0)
        throw ErrorAritmetico(a == 0.0 ? "Operación no válida: 0 / 0" : "División por cero");
    const double r = a / b;
    if (std::isinf(r) && !std::isinf(a)) throw ErrorAritmetico("Desbordamiento en una división");
    return r;
}

double Raiz(double v) {
    if (!(v >= 0.0)) throw ErrorAritmetico("Raíz cuadrada de un número negativo");
    return std::sqrt(v);
}
