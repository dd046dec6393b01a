// The e-mail that asks a centre for a work, byte for byte.

#include <gtest/gtest.h>

#include "core/CMatrix.h"
#include "core/WorkRequest.h"
#include "tests/search/TableBuilder.h"

TEST(WorkRequest, UriOfOneWorkByteForByte) {
    CMatrix table;
    FillRows(table, WorkColumns(),
             {{{"Titolo", "I Malavoglia "},
               {"AutoreNome", "Giovanni Verga"},
               {"TipoRegistrazione", "Professionale"},
               {"CodOrigine", " NA-0003"},
               {"CatalogoId", "103"}}});
    const RequestedWork work = RequestedWorkAt(table, 1);
    EXPECT_EQ(WorkRequestUri(" milano@example.org ", work),
              "mailto:milano@example.org?subject=Richiesta%20opera%3A%20I%20Malavoglia&body="
              "Buongiorno%2C%0D%0A%0D%0Avorrei%20ricevere%20in%20prestito%20l%27opera%20seguente."
              "%0D%0A%0D%0ATitolo%3A%20I%20Malavoglia%0D%0AAutore%3A%20Giovanni%20Verga%0D%0ATipo"
              "%20registrazione%3A%20Professionale%0D%0ACodice%20di%20riferimento%20in%20catalogo"
              "%3A%20NA-0003%20%28codice%20interno%20103%29%0D%0A%0D%0AGrazie%20per%20l%27attenzio"
              "ne%2C%20cordiali%20saluti.%0D%0A");
}

TEST(WorkRequest, TitlesThatWouldBreakTheUriAreEncoded) {
    RequestedWork w{"Perch\xE9 & come? #1 l'\x80 100%", "", "", "X", "7"};
    const std::string subject = "Richiesta%20opera%3A%20Perch%C3%A9%20%26%20come%3F%20%231%20l"
                                "%27%E2%82%AC%20100%25";
    const std::optional<std::string> uri = WorkRequestUri("a@b.it", w);
    ASSERT_TRUE(uri);
    EXPECT_EQ(uri->substr(0, uri->find("&body=")), "mailto:a@b.it?subject=" + subject);
    // No author and no recording type: their lines are left out, nothing is left empty.
    EXPECT_EQ(WorkRequestBody(w),
              "Buongiorno,\r\n\r\nvorrei ricevere in prestito l'opera seguente.\r\n\r\nTitolo: "
              "Perch\xE9 & come? #1 l'\x80 100%\r\nCodice di riferimento in catalogo: X (codice "
              "interno 7)\r\n\r\nGrazie per l'attenzione, cordiali saluti.\r\n");
    // Exactly one '?' and one '&': the title cannot add a header or a second body.
    EXPECT_EQ(std::count(uri->begin(), uri->end(), '?'), 1);
    EXPECT_EQ(std::count(uri->begin(), uri->end(), '&'), 1);
    EXPECT_EQ(uri->find('#'), std::string::npos);
}

TEST(WorkRequest, OnlyPlainAddressesAreUsed) {
    RequestedWork w{"T", "", "", "X", "7"};
    for (const char* good :
         {"milano@example.org", "o'hara+libri@centro-nord.example.it", "a.b_c~d!$*=@x1.it"}) {
        EXPECT_TRUE(WorkRequestUri(good, w)) << good;
    }
    for (const char* bad :
         {"", "milano", "@example.org", "milano@", "a@b@c", "a@b.it?cc=x@y.it", "a@b.it&body=x",
          "a b@c.it", "a@b.it#x", "a%40@b.it", "a,b@c.it", "a@b_c.it", "\"a\"@b.it", "a@b.it\r\nX",
          "citt\xE0@b.it", "a@b.it>", "<a@b.it"}) {
        EXPECT_FALSE(WorkRequestUri(bad, w)) << bad;
    }
}
