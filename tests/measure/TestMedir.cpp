// SPDX-License-Identifier: GPL-3.0-or-later
// quorvel-medir end to end, on files written here.
#include "Campo.h"
#include "Ejecutar.h"
#include "Fotos.h"
#include "Medida.h"
#include "Numeros.h"
#include "Simulacion.h"

#include <sstream>
#include <string>
#include <vector>

namespace {

class Medir : public ConFotos {
protected:
    Resultado Correr(const std::vector<std::string>& argumentos) {
        return Ejecutar(carpeta_, MEDIR, argumentos);
    }
    static std::vector<std::string> Lineas(const std::string& texto) {
        std::vector<std::string> r;
        std::istringstream s(texto);
        for (std::string l; std::getline(s, l);) r.push_back(l);
        return r;
    }
    // The figures as measured in this process.
    TFigurasFoco Figuras(const std::string& ruta) {
        TPlaca placa;
        placa.LeerFits(ruta);
        TListaOrdenada o;
        TListaAcumulada a;
        return MedirEstrella(placa, o, a);
    }
};

TEST_F(Medir, RowsPerFile) {
    const std::string a = Guardar(Estrella(80, 60, 30.2, 31.7, 1.6, 9000, 500, 5, 1), "a.fits");
    const std::string b = Guardar(Estrella(80, 60, 50.6, 20.1, 2.4, 4000, 800, 9, 2), "b.fit");
    const Resultado r = Correr({a, b});
    EXPECT_EQ(r.estado, 0);
    EXPECT_EQ(r.errores, "");
    const auto lineas = Lineas(r.salida);
    ASSERT_EQ(lineas.size(), 3u);
    EXPECT_EQ(lineas[0], "Archivo\tMaximo\tFWHM\tHFD\tCentroideX\tCentroideY\tFondo\tCalidad");
    const TFigurasFoco f = Figuras(b);
    EXPECT_EQ(lineas[2], b + "\t" + std::to_string(f.Maximo) + "\t" +
                             FormatearNumero(f.FWHM, "0.000") + "\t" +
                             FormatearNumero(f.HFD, "0.000") + "\t" +
                             FormatearNumero(f.CentroideX, "0.000") + "\t" +
                             FormatearNumero(f.CentroideY, "0.000") + "\t" +
                             FormatearNumero(f.NivelFondo, "0.00") + "\t" + f.Calidad);
}

TEST_F(Medir, CsvQuotesNamesAndEndsLinesWithCrLf) {
    Cuentas caliente(80, 60, 300);
    caliente(40, 30) = 20000; // one hot pixel
    const std::string a = Guardar(caliente, "uno, \"dos\".fits");
    const Resultado r = Correr({"--csv", a});
    EXPECT_EQ(r.estado, 0);
    const TFigurasFoco f = Figuras(a);
    std::string quoted = a;
    quoted.replace(quoted.find('"'), 1, "\"\"");
    quoted.replace(quoted.rfind('"'), 1, "\"\"");
    EXPECT_EQ(r.salida,
              "Archivo,Maximo,FWHM,HFD,CentroideX,CentroideY,Fondo,Calidad\r\n\"" + quoted + "\"," +
                  std::to_string(f.Maximo) + "," + FormatearNumero(f.FWHM, "0.000") + "," +
                  FormatearNumero(f.HFD, "0.000") + "," + FormatearNumero(f.CentroideX, "0.000") +
                  "," + FormatearNumero(f.CentroideY, "0.000") + "," +
                  FormatearNumero(f.NivelFondo, "0.00") + "," + f.Calidad + "\r\n");
    EXPECT_EQ(f.Calidad, 'C'); // a star narrower than a pixel
}

TEST_F(Medir, FailuresGoToStandardErrorAndExitOne) {
    const std::string bien = Guardar(Estrella(80, 60, 30, 30, 2, 5000, 100), "bien.fits");
    const std::string vacia = Guardar(Cuentas(40, 40, 0), "vacia.fits");
    const std::string tres = (carpeta_ / "tres.fits").string();
    auto tarjetas = TarjetasBasicas(8, 8);
    tarjetas[2] = TarjetaFits("NAXIS", "3");
    GuardarFichero(tres, BloqueCabecera(tarjetas));
    const std::string falta = (carpeta_ / "falta.fits").string();

    const Resultado r = Correr({falta, tres, bien, vacia});
    EXPECT_EQ(r.estado, 1);
    EXPECT_EQ(Lineas(r.salida).size(), 2u); // the header and the one good frame
    const auto errores = Lineas(r.errores);
    ASSERT_EQ(errores.size(), 3u);
    EXPECT_EQ(errores[0], "quorvel-medir: " + falta + ": No se encuentra el fichero " + falta);
    EXPECT_EQ(errores[1], "quorvel-medir: " + tres + ": Solo se admiten FITS bidimensionales");
    EXPECT_EQ(errores[2].rfind("quorvel-medir: " + vacia + ": ", 0), 0u);
}

TEST_F(Medir, Usage) {
    struct Caso {
        std::vector<std::string> argumentos;
        int estado;
        const char* en_salida;
        const char* en_errores;
    };
    const Caso casos[] = {
        {{}, 2, "", "falta al menos un fichero"},
        {{"--csv"}, 2, "", "falta al menos un fichero"},
        {{"--rapido", "x.fits"}, 2, "", "opción desconocida: --rapido"},
        {{"--help"}, 0, "Uso: quorvel-medir [--csv] FICHERO...", ""},
        {{"--", "--csv"}, 1, "Archivo\tMaximo", "--csv: No se encuentra el fichero --csv"},
        {{"--campo"}, 2, "", "falta al menos un fichero"},
        {{"--estrellas", "x.fits"}, 2, "", "--estrellas necesita --campo"},
        {{"--help"}, 0, "quorvel-medir --campo [--csv] [--estrellas [--rechazadas]] FICHERO...", ""},
        {{"--campo", "--rechazadas", "x.fits"}, 2, "", "--rechazadas necesita --campo --estrellas"},
        {{"--campo", "--estrellas", "--", "--x"}, 1, "Archivo\tX\tY\tFWHM", "--x: No se encuentra"},
    };
    for (const Caso& c : casos) {
        std::string traza;
        for (const std::string& a : c.argumentos) traza += a + " ";
        SCOPED_TRACE(traza);
        const Resultado r = Correr(c.argumentos);
        EXPECT_EQ(r.estado, c.estado);
        EXPECT_NE(r.salida.find(c.en_salida), std::string::npos) << r.salida;
        EXPECT_NE(r.errores.find(c.en_errores), std::string::npos) << r.errores;
    }
}

TEST_F(Medir, FieldModeRowsPerFileOrPerStar) {
    TEscena escena;
    escena.ancho = 300, escena.alto = 200, escena.sigmaMin = 1.5;
    escena.estrellas = {{60.3, 50.7, 9000}, {200.6, 120.2, 4000}, {150.2, 160.8, 20000}};
    std::mt19937_64 azar(4);
    const std::string campo = Guardar(Cuentas(300, 200, ExponerCampo(escena, 1.5, azar)), "c.fits");
    const std::string cielo = Guardar(Cuentas(100, 100, 250), "cielo.fits");
    const std::string falta = (carpeta_ / "falta.fits").string();
    TPlaca placa;
    ASSERT_TRUE(placa.LeerFits(campo));
    const TMedidaCampo m = MedirCampo(placa);
    ASSERT_EQ(m.Estrellas.size(), 3u);

    Resultado r = Correr({"--campo", campo, cielo, falta});
    EXPECT_EQ(r.estado, 1);
    EXPECT_EQ(r.salida, "Archivo\tEstrellas\tFWHM\tHFD\tMaximo\tFondo\n" + campo + "\t3\t" +
                            FormatearNumero(m.FWHM, "0.000") + "\t" +
                            FormatearNumero(m.HFD, "0.000") + "\t" + std::to_string(m.Maximo) +
                            "\t" + FormatearNumero(m.Fondo, "0.00") + "\n");
    EXPECT_EQ(r.errores, "quorvel-medir: " + cielo + ": ninguna estrella medible\nquorvel-medir: " +
                             falta + ": No se encuentra el fichero " + falta + "\n");

    r = Correr({"--csv", "--estrellas", "--campo", campo});
    EXPECT_EQ(r.estado, 0);
    EXPECT_EQ(r.errores, "");
    std::string esperada = "Archivo,X,Y,FWHM,HFD,Maximo,Calidad\r\n";
    for (const TEstrellaCampo& e : m.Estrellas)
        esperada += campo + "," + FormatearNumero(e.X, "0.000") + "," +
                    FormatearNumero(e.Y, "0.000") + "," + FormatearNumero(e.FWHM, "0.000") + "," +
                    FormatearNumero(e.HFD, "0.000") + "," + std::to_string(e.Maximo) + "," +
                    e.Calidad + "\r\n";
    EXPECT_EQ(r.salida, esperada);
}

TEST_F(Medir, RejectedCandidatesFollowTheStarsWithTheirReason) {
    // A star, a saturated star and a hot pixel; then a frame of a hot pixel alone, which has
    // its row and still no figure.
    TEscena escena;
    escena.ancho = 300, escena.alto = 200, escena.sigmaMin = 1.5;
    escena.estrellas = {{60.3, 50.7, 9000}, {200.6, 120.2, 200000}};
    std::mt19937_64 azar(4);
    Cuentas c(300, 200, ExponerCampo(escena, 1.5, azar));
    c(150, 160) = 40000;
    const std::string campo = Guardar(c, "c.fits");
    Cuentas solo(100, 100, 250);
    solo(50, 40) = 30000;
    const std::string caliente = Guardar(solo, "caliente.fits");

    const Resultado r = Correr({"--campo", "--estrellas", "--rechazadas", "--csv", campo, caliente});
    EXPECT_EQ(r.estado, 1);
    EXPECT_EQ(r.errores, "quorvel-medir: " + caliente + ": ninguna estrella medible\n");
    const auto filas = Lineas(r.salida);
    ASSERT_EQ(filas.size(), 5u);
    EXPECT_EQ(filas[0], "Archivo,X,Y,FWHM,HFD,Maximo,Calidad,Motivo\r");
    EXPECT_EQ(filas[1].rfind(campo + ",60.3", 0), 0u) << filas[1];
    EXPECT_EQ(filas[1].substr(filas[1].size() - 4), ", ,\r") << filas[1]; // a good fit, no Motivo
    // Brightest first: the saturated star, then the hot pixel; neither has an FWHM.
    EXPECT_EQ(filas[2].rfind(campo + ",200.", 0), 0u) << filas[2];
    EXPECT_NE(filas[2].find(",,"), std::string::npos) << filas[2];
    EXPECT_EQ(filas[2].substr(filas[2].size() - 10), ",saturada\r") << filas[2];
    EXPECT_EQ(filas[3].rfind(campo + ",150.5", 0), 0u) << filas[3];
    EXPECT_NE(filas[3].find(",,,40000,,píxel caliente\r"), std::string::npos) << filas[3];
    EXPECT_EQ(filas[4], caliente + ",50.500,40.500,,,30000,,píxel caliente\r");
}

} // namespace
