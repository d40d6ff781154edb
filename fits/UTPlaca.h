// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The frame unit: one FITS frame of 16-bit values on two axes, its header cards and
// bounds-safe pixel access. All frame state is unit-level: exactly one frame exists at a time.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Pixel matrix, Imagen[x][y] with x along NAXIS1. One contiguous block in the file's order,
// row after row, so that the load writes it as it reads and whole-frame passes read it in
// order; a column is a strided view. Both indexings are range-checked and raise ErrorRango
// outside the matrix.
class FITSImageArea {
public:
    template <typename T> class Columna {
    public:
        Columna(T* datos, size_t alto, size_t paso) : datos_(datos), alto_(alto), paso_(paso) {}
        T& operator[](size_t y) const;
        size_t size() const { return alto_; }

    private:
        T* datos_;
        size_t alto_;
        size_t paso_;
    };

    Columna<uint16_t> operator[](size_t x);
    Columna<const uint16_t> operator[](size_t x) const;

    FITSImageArea() = default;
    ~FITSImageArea();
    FITSImageArea(const FITSImageArea&) = delete;
    FITSImageArea& operator=(const FITSImageArea&) = delete;

    size_t Columnas() const { return ancho_; }
    bool empty() const { return ancho_ == 0; }

    // Makes room for ancho x alto values, whose contents are left undefined: the loader writes
    // every one of them.
    void Asignar(size_t ancho, size_t alto);
    // Leaves the matrix empty. The block is kept and serves the next Asignar of the same size.
    void Liberar();
    // Row y starts at Datos() + y * Columnas().
    uint16_t* Datos() { return ancho_ ? bloque_ : nullptr; }
    const uint16_t* Datos() const { return ancho_ ? bloque_ : nullptr; }
    size_t Alto() const { return alto_; }

private:
    uint16_t* bloque_ = nullptr;
    size_t bytesBloque_ = 0;
    size_t ancho_ = 0;
    size_t alto_ = 0;
};

// Unit-level state of the current frame.
extern std::vector<std::string> Cabecera; // header cards in file order, without "END"
extern FITSImageArea Imagen;
extern std::string Mensaje; // last status or error message

class TPlaca {
public:
    TPlaca();  // fresh card list, axis lengths 0, Mensaje "UTPlaca BETA"
    ~TPlaca(); // frees the card list and the matrix
    TPlaca(const TPlaca&) = delete;
    TPlaca& operator=(const TPlaca&) = delete;

    // Loads a file; false with Mensaje set when it is missing or not a supported frame.
    // Raises ErrorIncompleto for a file shorter than its header says (one still being
    // written), ErrorConversion for other unreadable or inconsistent files, ErrorRango for a
    // blank looked-up value field.
    bool LeerFits(const std::string& Archivo);
    // The header alone, for what its keys say of a frame: false with Mensaje set when it is not
    // a supported frame; the same errors as LeerFits for its header. The matrix stays empty.
    bool LeerSoloCabecera(const std::string& Archivo);
    uint16_t Ancho() const;
    uint16_t Alto() const;
    // 0 for every position outside the frame.
    uint16_t Pixel(int64_t X, int64_t Y) const;

    std::string LeerClave(const std::string& Nombre) const;
    void EscribirClave(const std::string& Nombre, const std::string& Valor,
                       const std::string& Comentario);

    // Circular Gaussian fit on a box of Imagen, or of another matrix made from it (defined
    // with the measurement).
    void AjustarGauss(int32_t CentroX, int32_t CentroY, int32_t Radio, float& PosX, float& PosY,
                      int32_t& Flujo, int32_t& FondoAjustado, float& SenalRuido,
                      float& SenalRuidoPico, float& FWHM, char& Calidad, int32_t Saturacion,
                      const FITSImageArea& Area = Imagen);
};

// Appends the cards of one 2880-byte header record to Cabecera, up to its "END" card; true
// when the record held that card.
bool LeerRegistroCabecera(const char* registro);

// Removes leading and trailing characters with codes 0 to 32.
std::string QuitarBlancos(const std::string& texto);
