// SPDX-License-Identifier: GPL-3.0-or-later
#include "UTPlaca.h"

#include "Errores.h"
#include "Ficheros.h"
#include "Memoria.h"
#include "Numeros.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <string_view>
#include <sys/mman.h>

std::vector<std::string> Cabecera;
FITSImageArea Imagen;
std::string Mensaje;

namespace {

uint16_t PrimerEje = 0;
uint16_t SegundoEje = 0;

constexpr size_t Registro = 2880;
constexpr size_t Tarjeta = 80;
// Cameras write one to a few header records and archives with long histories some tens; a file
// that has no "END" within a thousand (36,000 cards, 2.9 MB) is not a frame, and reading on
// would hold a file of any size in memory.
constexpr size_t MaxRegistrosCabecera = 1000;

// A frame's matrix takes at most half of the memory the program may use, the measurement
// needing room besides, and never more than 512 MiB (16384 x 16384 values, beyond the largest
// camera sensors): a header that claims a huge frame neither exhausts the memory nor holds the
// watch for a minute while it is read.
constexpr uint64_t MaxBytesMatriz = uint64_t{512} << 20;
// A matrix this small (up to 33 megapixels) fits any machine the program runs on: for it the
// memory is not looked up, which reads a few files.
constexpr uint64_t SiempreCabe = uint64_t{64} << 20;

// Why a frame of that size is refused; empty when it fits.
std::string DemasiadoGrande(int64_t ancho, int64_t alto) {
    const uint64_t bytes = static_cast<uint64_t>(ancho) * static_cast<uint64_t>(alto) * 2;
    if (bytes <= SiempreCabe) return {};
    const uint64_t maximo = std::min(MaxBytesMatriz, MemoriaUtilizable() / 2);
    if (bytes <= maximo) return {};
    const auto mib = [](uint64_t b) { return std::to_string(b >> 20) + " MiB"; };
    return "Foto demasiado grande: " + std::to_string(ancho) + " x " + std::to_string(alto) +
           " píxeles ocupan " + mib(bytes + (1 << 20) - 1) + " en memoria; el máximo es " +
           mib(maximo);
}

// The frame file, closed on every way out of the load; its failures are the loader's errors.
class Archivo {
public:
    explicit Archivo(const std::string& nombre) : fichero_(nombre) {
        if (fichero_.Estado() == TFicheroRegular::TEstado::NoSeAbre)
            throw ErrorConversion("No se puede abrir el fichero " + nombre);
        if (fichero_.Estado() == TFicheroRegular::TEstado::NoEsRegular)
            throw ErrorConversion("No es un fichero regular: " + nombre);
    }

    // Reads up to one record; returns the bytes obtained (fewer only at the end of the file).
    size_t LeerRegistro(char* destino) {
        const int64_t n = fichero_.Leer(destino, Registro);
        if (n < 0) throw ErrorConversion("Error de lectura del fichero");
        return static_cast<size_t>(n);
    }
    int64_t Tamano() const {
        const int64_t t = fichero_.Tamano();
        if (t < 0) throw ErrorConversion("Error de lectura del fichero");
        return t;
    }

private:
    TFicheroRegular fichero_;
};

// One record's values, big-endian, plus the offset. A whole record at a time and the two
// blocks declared apart: a fixed count the compiler turns into vector code.
void Decodificar(const unsigned char* __restrict bytes, uint16_t* __restrict valores,
                 uint16_t offset) {
    for (size_t j = 0; j < Registro / 2; ++j)
        valores[j] = static_cast<uint16_t>(((bytes[2 * j] << 8) | bytes[2 * j + 1]) + offset);
}

} // namespace

// ---- FITSImageArea ---------------------------------------------------------------------

template <typename T> T& FITSImageArea::Columna<T>::operator[](size_t y) const {
    if (y >= alto_) throw ErrorRango("Índice de imagen fuera de rango");
    return datos_[y * paso_];
}
template class FITSImageArea::Columna<uint16_t>;
template class FITSImageArea::Columna<const uint16_t>;

FITSImageArea::Columna<uint16_t> FITSImageArea::operator[](size_t x) {
    if (x >= ancho_) throw ErrorRango("Índice de imagen fuera de rango");
    return {bloque_ + x, alto_, ancho_};
}

FITSImageArea::Columna<const uint16_t> FITSImageArea::operator[](size_t x) const {
    if (x >= ancho_) throw ErrorRango("Índice de imagen fuera de rango");
    return {bloque_ + x, alto_, ancho_};
}

FITSImageArea::~FITSImageArea() {
    if (bloque_) ::munmap(bloque_, bytesBloque_);
}

// The frames of one camera share a size, so the block of the last frame is kept for the next:
// filling pages afresh costs more than reading the whole file. A new block is asked for huge
// pages, which cut its page faults to a few hundred.
void FITSImageArea::Asignar(size_t ancho, size_t alto) {
    Liberar();
    const size_t bytes = ancho * alto * sizeof(uint16_t);
    if (bytes == 0) return;
    if (bytes != bytesBloque_) {
        if (bloque_) ::munmap(bloque_, bytesBloque_);
        bloque_ = nullptr;
        bytesBloque_ = 0;
        void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        ::madvise(p, bytes, MADV_HUGEPAGE); // advice only: without it the block works the same
        bloque_ = static_cast<uint16_t*>(p);
        bytesBloque_ = bytes;
    }
    ancho_ = ancho;
    alto_ = alto;
}

void FITSImageArea::Liberar() {
    ancho_ = alto_ = 0;
}

// ---- TPlaca ------------------------------------------------------------------------------

namespace {
// The trimmed text as a view: the card loops run on every lookup and allocate nothing.
std::string_view SinBlancos(std::string_view texto) {
    const auto blanco = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    while (!texto.empty() && blanco(texto.front())) texto.remove_prefix(1);
    while (!texto.empty() && blanco(texto.back())) texto.remove_suffix(1);
    return texto;
}
// Columns 1-8 of a card, trimmed.
std::string_view Clave(std::string_view tarjeta) {
    return SinBlancos(tarjeta.substr(0, 8));
}
} // namespace

std::string QuitarBlancos(const std::string& texto) {
    return std::string(SinBlancos(texto));
}

TPlaca::TPlaca() {
    Cabecera.clear();
    Mensaje = "UTPlaca BETA";
    PrimerEje = SegundoEje = 0;
}

TPlaca::~TPlaca() {
    std::vector<std::string>().swap(Cabecera);
    Imagen.Liberar();
}

uint16_t TPlaca::Ancho() const {
    return PrimerEje;
}
uint16_t TPlaca::Alto() const {
    return SegundoEje;
}

uint16_t TPlaca::Pixel(int64_t X, int64_t Y) const {
    if (X < 0 || Y < 0 || X >= PrimerEje || Y >= SegundoEje || Imagen.empty()) return 0;
    return Imagen.Datos()[static_cast<size_t>(Y) * Imagen.Columnas() + static_cast<size_t>(X)];
}

std::string TPlaca::LeerClave(const std::string& Nombre) const {
    for (const std::string& tarjeta : Cabecera) {
        if (Clave(tarjeta) != Nombre) continue;
        std::string valor = tarjeta.size() > 9 ? tarjeta.substr(9, 70) : std::string();
        const size_t barra = valor.find('/');
        if (barra != std::string::npos) valor.erase(barra);
        valor = QuitarBlancos(valor);
        if (valor.empty()) throw ErrorRango("Valor vacío en la tarjeta " + Nombre);
        if (valor.front() == '\'') valor.erase(0, 1);
        if (valor.empty()) throw ErrorRango("Valor vacío en la tarjeta " + Nombre);
        if (valor.back() == '\'') valor.pop_back();
        return QuitarBlancos(valor);
    }
    return {};
}

void TPlaca::EscribirClave(const std::string& Nombre, const std::string& Valor,
                           const std::string& Comentario) {
    std::string clave = Nombre.substr(0, 8);
    clave.resize(8, ' ');
    std::string valor;
    if (EsNumero(Valor)) {
        valor = Valor.size() < 20 ? std::string(20 - Valor.size(), ' ') + Valor : Valor;
    } else {
        valor = Valor;
        if (valor.size() < 20) valor.resize(20, ' ');
        valor = "'" + valor + "'";
    }
    std::string tarjeta = clave + "= " + valor;
    if (!Comentario.empty()) tarjeta += " / " + Comentario;
    tarjeta.resize(Tarjeta, ' ');

    for (size_t i = Cabecera.size(); i-- > 0;) {
        if (Clave(Cabecera[i]) == Nombre) {
            Cabecera[i] = tarjeta;
            return;
        }
    }
    Cabecera.push_back(tarjeta);
}

bool LeerRegistroCabecera(const char* registro) {
    for (size_t k = 0; k < Registro / Tarjeta; ++k) {
        const std::string_view tarjeta(registro + k * Tarjeta, Tarjeta);
        if (SinBlancos(tarjeta) == "END") return true;
        Cabecera.emplace_back(tarjeta);
    }
    return false;
}

namespace {

// Header: whole records of 36 cards up to the "END" card, appended to Cabecera. Returns how
// many records it took.
size_t LeerCabecera(Archivo& archivo) {
    char cabecera[Registro];
    size_t registros = 0;
    for (bool fin = false; !fin;) {
        if (registros == MaxRegistrosCabecera)
            throw ErrorConversion("Cabecera FITS sin END en " +
                                  std::to_string(MaxRegistrosCabecera) + " registros");
        if (archivo.LeerRegistro(cabecera) != Registro)
            throw ErrorIncompleto("Cabecera FITS incompleta");
        ++registros;
        fin = LeerRegistroCabecera(cabecera);
    }
    return registros;
}

struct TFormato {
    int64_t ancho = 0, alto = 0;
    uint16_t offset = 0; // BZERO, added to every stored value
};

// The frame's format as its header gives it; false with Mensaje set when it is not a frame the
// program reads.
bool Formato(const TPlaca& Placa, TFormato& f) {
    if (Placa.LeerClave("SIMPLE") != "T") {
        Mensaje = "Formato FITS Desconocido";
        return false;
    }
    if (Placa.LeerClave("NAXIS") != "2") {
        Mensaje = "Solo se admiten FITS bidimensionales";
        return false;
    }
    if (Placa.LeerClave("BITPIX") != "16") {
        Mensaje = "Solo se admiten FITS de 16 bits";
        return false;
    }
    const std::string bscale = Placa.LeerClave("BSCALE");
    if (!bscale.empty() && ConvertirNumero(bscale) != 1.0) {
        Mensaje = "BSCALE no es igual a 1";
        return false;
    }
    const std::string bzero = Placa.LeerClave("BZERO");
    // The physical value modulo 65536: the signed and the unsigned reading of the two bytes
    // give the same sum.
    f.offset = bzero.empty()
                   ? 0
                   : static_cast<uint16_t>(static_cast<uint32_t>(
                         Redondear(std::fmod(std::nearbyint(ConvertirNumero(bzero)), 65536.0))));

    f.ancho = ConvertirEntero(Placa.LeerClave("NAXIS1"));
    f.alto = ConvertirEntero(Placa.LeerClave("NAXIS2"));
    if (f.ancho < 1 || f.ancho > 65535 || f.alto < 1 || f.alto > 65535) {
        Mensaje = "Dimensiones de imagen no admitidas";
        return false;
    }
    return true;
}

// Data: big-endian values, the first axis fastest, as the matrix holds them.
void LeerDatos(Archivo& archivo, uint16_t* matriz, size_t total, uint16_t offset) {
    unsigned char datos[Registro] = {}; // a short last record leaves defined bytes behind its end
    for (size_t i = 0; i < total;) {
        const size_t n = archivo.LeerRegistro(reinterpret_cast<char*>(datos)) / 2;
        if (n == 0) {
            // The file shrank since its size was checked: no value of another frame stays.
            std::fill(matriz + i, matriz + total, uint16_t{0});
            throw ErrorIncompleto("Datos FITS incompletos");
        }
        if (total - i >= Registro / 2) {
            Decodificar(datos, matriz + i, offset);
        } else {
            uint16_t valores[Registro / 2];
            Decodificar(datos, valores, offset);
            std::memcpy(matriz + i, valores, (total - i) * sizeof(uint16_t));
        }
        i += std::min(n, total - i);
    }
}

} // namespace

bool TPlaca::LeerFits(const std::string& ArchivoFits) {
    // Only a regular file counts: a directory has no frame, and a FIFO or a device is no file.
    if (!EsFicheroRegular(ArchivoFits)) {
        Mensaje = "No se encuentra el fichero " + ArchivoFits;
        return false;
    }
    Archivo archivo(ArchivoFits);
    const size_t registrosCabecera = LeerCabecera(archivo);
    TFormato f;
    if (!Formato(*this, f)) return false;
    // Before the file's size: a huge frame still being written is refused at once, not waited for.
    if (const std::string motivo = DemasiadoGrande(f.ancho, f.alto); !motivo.empty()) {
        Mensaje = motivo;
        return false;
    }
    const int64_t necesario = static_cast<int64_t>(registrosCabecera * Registro) + f.ancho * f.alto * 2;
    if (archivo.Tamano() < necesario) throw ErrorIncompleto("Datos FITS incompletos");

    // The axis lengths follow the allocation, so that they never describe more than the matrix
    // holds, even when the allocation fails.
    const auto w = static_cast<size_t>(f.ancho), h = static_cast<size_t>(f.alto);
    Imagen.Asignar(w, h);
    PrimerEje = static_cast<uint16_t>(w);
    SegundoEje = static_cast<uint16_t>(h);
    LeerDatos(archivo, Imagen.Datos(), w * h, f.offset);

    EscribirClave("BZERO", "0.0", "");
    return true;
}

bool TPlaca::LeerSoloCabecera(const std::string& ArchivoFits) {
    if (!EsFicheroRegular(ArchivoFits)) {
        Mensaje = "No se encuentra el fichero " + ArchivoFits;
        return false;
    }
    Imagen.Liberar();
    PrimerEje = SegundoEje = 0;
    Archivo archivo(ArchivoFits);
    LeerCabecera(archivo);
    TFormato f;
    return Formato(*this, f);
}
