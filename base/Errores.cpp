// SPDX-License-Identifier: GPL-3.0-or-later
#include "Errores.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <new>

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

std::string DescripcionError(int codigo) {
    // The failures a watched folder, a settings file or a folder listing can meet.
    switch (codigo) {
    case EACCES:
        return "Permiso denegado";
    case EPERM:
        return "Operación no permitida";
    case EROFS:
        return "Sistema de ficheros de solo lectura";
    case ENOSPC:
        return "No queda espacio en el dispositivo";
    case EDQUOT:
        return "Cuota de disco superada";
    case EFBIG:
        return "Fichero demasiado grande";
    case ENOENT:
        return "No existe el fichero o la carpeta";
    case EISDIR:
        return "Es una carpeta";
    case ENOTDIR:
        return "No es una carpeta";
    case ENAMETOOLONG:
        return "Nombre demasiado largo";
    case ELOOP:
        return "Demasiados niveles de enlaces simbólicos";
    case EEXIST:
        return "El fichero ya existe";
    case ENOTEMPTY:
        return "La carpeta no está vacía";
    case EXDEV:
        return "Enlace entre sistemas de ficheros distintos";
    case EIO:
        return "Error de entrada/salida";
    case EBUSY:
        return "Dispositivo o recurso ocupado";
    case ETXTBSY:
        return "Fichero en uso";
    case EMFILE:
        return "Demasiados ficheros abiertos";
    case ENFILE:
        return "Demasiados ficheros abiertos en el sistema";
    case ENOMEM:
        return "Memoria insuficiente";
    case EAGAIN:
        return "Recurso no disponible por ahora";
    case EPIPE:
        return "Tubería cerrada: el programa que leía la salida ya terminó";
    case EINTR:
        return "Llamada interrumpida";
    case ENXIO:
        return "No existe el dispositivo o la dirección";
    case ENODEV:
        return "No existe el dispositivo";
    case EINVAL:
        return "Argumento no válido";
    case ESTALE:
        return "Fichero de red caducado";
    case ENOTCONN:
        return "La unidad de red no está conectada";
    case ETIMEDOUT:
        return "Se agotó el tiempo de espera";
    case EHOSTDOWN:
    case EHOSTUNREACH:
        return "No se llega al servidor";
    default:
        return std::strerror(codigo);
    }
}

std::string TextoError(const std::exception& e) {
    // The library's own texts for these are English and say nothing to the user.
    if (dynamic_cast<const std::bad_alloc*>(&e) || dynamic_cast<const std::length_error*>(&e))
        return "Memoria insuficiente: la foto o la operación no caben en la memoria disponible";
    return e.what();
}
