#include "UTPlaca.h"

#include "Errores.h"
#include "Numeros.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

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
// Rows gathered before they are turned into columns, so that each column of the matrix is
// written in runs of whole cache lines rather than one value per line.
constexpr size_t FilasPorBloque = 64;
constexpr size_t ColumnasPorTesela = 16;

// A read-only descriptor of a regular file, closed on every way out of the load. The open
// never blocks and the type is checked on the descriptor itself, so a FIFO or a device swapped
// in after the existence test is refused rather than read.
class Archivo {
public:
    explicit Archivo(const std::string& nombre)
        : fd_(::open(nombre.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
        if (fd_ < 0) throw ErrorConversion("No se puede abrir el fichero " + nombre);
        struct stat st {};
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd_);
            throw ErrorConversion("No es un fichero regular: " + nombre);
        }
    }
    ~Archivo() { ::close(fd_); }
    Archivo(const Archivo&) = delete;
    Archivo& operator=(const Archivo&) = delete;

    // Reads up to one record; returns the bytes obtained (fewer only at the end of the file).
    size_t LeerRegistro(char* destino) {
        size_t leidos = 0;
        while (leidos < Registro) {
            const ssize_t n = ::read(fd_, destino + leidos, Registro - leidos);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throw ErrorConversion("Error de lectura del fichero");
            if (n == 0) break;
            leidos += static_cast<size_t>(n);
        }
        return leidos;
    }
    int64_t Tamano() const {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) throw ErrorConversion("Error de lectura del fichero");
        return st.st_size;
    }

private:
    int fd_;
};

// Only a regular file counts: a directory has no frame, and a FIFO or a device is no file.
bool ExisteFichero(const std::string& nombre) {
    struct stat st {};
    return ::stat(nombre.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

// ---- FITSImageArea ---------------------------------------------------------------------

template <typename T> T& FITSImageArea::Columna<T>::operator[](size_t y) const {
    if (y >= alto_) throw ErrorRango("Índice de imagen fuera de rango");
    return datos_[y];
}
template class FITSImageArea::Columna<uint16_t>;
template class FITSImageArea::Columna<const uint16_t>;

FITSImageArea::Columna<uint16_t> FITSImageArea::operator[](size_t x) {
    if (x >= ancho_) throw ErrorRango("Índice de imagen fuera de rango");
    return {datos_.data() + x * alto_, alto_};
}

FITSImageArea::Columna<const uint16_t> FITSImageArea::operator[](size_t x) const {
    if (x >= ancho_) throw ErrorRango("Índice de imagen fuera de rango");
    return {datos_.data() + x * alto_, alto_};
}

void FITSImageArea::Asignar(size_t ancho, size_t alto) {
    datos_.assign(ancho * alto, 0);
    ancho_ = ancho;
    alto_ = alto;
}

void FITSImageArea::Liberar() {
    std::vector<uint16_t>().swap(datos_);
    ancho_ = alto_ = 0;
}

// ---- TPlaca ------------------------------------------------------------------------------

namespace {
// The trimmed text as a view: the card loops run on every lookup and allocate nothing.
std::string_view Recorte(std::string_view texto) {
    const auto blanco = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    while (!texto.empty() && blanco(texto.front())) texto.remove_prefix(1);
    while (!texto.empty() && blanco(texto.back())) texto.remove_suffix(1);
    return texto;
}
// Columns 1-8 of a card, trimmed.
std::string_view Clave(std::string_view tarjeta) {
    return Recorte(tarjeta.substr(0, 8));
}
} // namespace

std::string Recortar(const std::string& texto) {
    return std::string(Recorte(texto));
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
    return Imagen.Datos()[static_cast<size_t>(X) * Imagen.Alto() + static_cast<size_t>(Y)];
}

std::string TPlaca::LeerClave(const std::string& Nombre) const {
    for (const std::string& tarjeta : Cabecera) {
        if (Clave(tarjeta) != Nombre) continue;
        std::string valor = tarjeta.size() > 9 ? tarjeta.substr(9, 70) : std::string();
        const size_t barra = valor.find('/');
        if (barra != std::string::npos) valor.erase(barra);
        valor = Recortar(valor);
        if (valor.empty()) throw ErrorRango("Valor vacío en la tarjeta " + Nombre);
        if (valor.front() == '\'') valor.erase(0, 1);
        if (valor.empty()) throw ErrorRango("Valor vacío en la tarjeta " + Nombre);
        if (valor.back() == '\'') valor.pop_back();
        return Recortar(valor);
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
        if (Recorte(tarjeta) == "END") return true;
        Cabecera.emplace_back(tarjeta);
    }
    return false;
}

bool TPlaca::LeerFits(const std::string& ArchivoFits) {
    if (!ExisteFichero(ArchivoFits)) {
        Mensaje = "No se encuentra el fichero " + ArchivoFits;
        return false;
    }
    Archivo archivo(ArchivoFits);

    // Header: whole records of 36 cards up to the "END" card.
    char cabecera[Registro];
    size_t registrosCabecera = 0;
    for (bool fin = false; !fin;) {
        if (registrosCabecera == MaxRegistrosCabecera)
            throw ErrorConversion("Cabecera FITS sin END en " +
                                  std::to_string(MaxRegistrosCabecera) + " registros");
        if (archivo.LeerRegistro(cabecera) != Registro)
            throw ErrorIncompleto("Cabecera FITS incompleta");
        ++registrosCabecera;
        fin = LeerRegistroCabecera(cabecera);
    }

    if (LeerClave("SIMPLE") != "T") {
        Mensaje = "Formato FITS Desconocido";
        return false;
    }
    if (LeerClave("NAXIS") != "2") {
        Mensaje = "Solo se admiten FITS bidimensionales";
        return false;
    }
    if (LeerClave("BITPIX") != "16") {
        Mensaje = "Solo se admiten FITS de 16 bits";
        return false;
    }
    const std::string bscale = LeerClave("BSCALE");
    if (!bscale.empty() && ConvertirNumero(bscale) != 1.0) {
        Mensaje = "BSCALE no es igual a 1";
        return false;
    }
    const std::string bzero = LeerClave("BZERO");
    // The physical value modulo 65536: the signed and the unsigned reading of the two bytes
    // give the same sum.
    const uint16_t offset =
        bzero.empty() ? 0
                      : static_cast<uint16_t>(static_cast<uint32_t>(
                            Redondear(std::fmod(std::nearbyint(ConvertirNumero(bzero)), 65536.0))));

    const int64_t ancho = ConvertirEntero(LeerClave("NAXIS1"));
    const int64_t alto = ConvertirEntero(LeerClave("NAXIS2"));
    if (ancho < 1 || ancho > 65535 || alto < 1 || alto > 65535) {
        Mensaje = "Dimensiones de imagen no admitidas";
        return false;
    }
    const int64_t necesario = static_cast<int64_t>(registrosCabecera * Registro) + ancho * alto * 2;
    if (archivo.Tamano() < necesario) throw ErrorIncompleto("Datos FITS incompletos");

    // The axis lengths follow the allocation, so that they never describe more than the matrix
    // holds, even when the allocation fails.
    const auto w = static_cast<size_t>(ancho), h = static_cast<size_t>(alto);
    Imagen.Asignar(w, h);
    PrimerEje = static_cast<uint16_t>(w);
    SegundoEje = static_cast<uint16_t>(h);
    uint16_t* matriz = Imagen.Datos();

    // Data: big-endian values, the first axis fastest. Rows are gathered in blocks and written
    // to the column-major matrix a block at a time.
    char datos[Registro] = {}; // a short last record leaves defined bytes behind its end
    std::vector<uint16_t> bloque(w * std::min(FilasPorBloque, h));
    size_t x = 0, y = 0, y0 = 0, enBloque = 0;
    // A block goes out in tiles of a few columns, turned in a small buffer that stays in the
    // first-level cache; each column run then leaves with a few wide stores instead of one
    // store per value, which keeps many more cache-line misses of the matrix in flight.
    const auto volcarBloque = [&](size_t filas) {
        uint16_t tesela[ColumnasPorTesela][FilasPorBloque];
        for (size_t x0 = 0; x0 < w; x0 += ColumnasPorTesela) {
            const size_t columnas = std::min(ColumnasPorTesela, w - x0);
            for (size_t f = 0; f < filas; ++f) {
                const uint16_t* fila = bloque.data() + f * w + x0;
                for (size_t c = 0; c < columnas; ++c) tesela[c][f] = fila[c];
            }
            for (size_t c = 0; c < columnas; ++c)
                std::memcpy(matriz + (x0 + c) * h + y0, tesela[c], filas * sizeof(uint16_t));
        }
    };
    uint16_t valores[Registro / 2];
    while (y < h) {
        const size_t n = archivo.LeerRegistro(datos) / 2;
        if (n == 0) throw ErrorIncompleto("Datos FITS incompletos");
        // The whole record at once: a fixed count over two local arrays is a loop the compiler
        // turns into vector code; the bytes past a short last record are never copied out.
        const auto* bytes = reinterpret_cast<const unsigned char*>(datos);
        for (size_t i = 0; i < Registro / 2; ++i)
            valores[i] = static_cast<uint16_t>(((bytes[2 * i] << 8) | bytes[2 * i + 1]) + offset);
        // Then in runs that end at a row's end.
        for (size_t i = 0; i < n && y < h;) {
            const size_t tramo = std::min(n - i, w - x);
            std::memcpy(bloque.data() + enBloque * w + x, valores + i, tramo * sizeof(uint16_t));
            i += tramo;
            x += tramo;
            if (x < w) continue;
            x = 0;
            ++y;
            if (++enBloque == FilasPorBloque || y == h) {
                volcarBloque(enBloque);
                y0 = y;
                enBloque = 0;
            }
        }
    }

    EscribirClave("BZERO", "0.0", "");
    return true;
}
