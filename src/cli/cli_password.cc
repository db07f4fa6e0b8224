// qnmuro password encrypt TEXT | decrypt HEX: the add-in's password cipher, for the people who
// put enciphered passwords into control files or check what the registry holds.
#include <cctype>
#include <iostream>
#include <memory>
#include <string>

#include "base/text.h"
#include "cli/command.h"
#include "common/cipher.h"
#include "common/context.h"

namespace qnmuro::cli {

void AddPassword(CLI::App& app) {
  CLI::App* password =
      app.add_subcommand("password", "Encipher or decipher a password as the OA server does");
  password->require_subcommand(1);

  auto text = std::make_shared<std::string>();
  CLI::App* encrypt = password->add_subcommand("encrypt", "Print the enciphered form of TEXT");
  encrypt->add_option("TEXT", *text, "The plain password (UTF-8)")->required();
  encrypt->callback([text] {
    const Context ctx;  // no event log: a failed digest leaves TEXT unchanged, unlogged
    std::cout << U8(EncryptString(ctx, U16(*text))) << "\n";
  });

  auto hex = std::make_shared<std::string>();
  CLI::App* decrypt = password->add_subcommand("decrypt", "Print the plain form of HEX");
  decrypt->add_option("HEX", *hex, "The enciphered password (hex digits)")->required();
  decrypt->callback([hex] {
    // The cipher always writes two hex digits a character; the decipherer would read anything.
    bool cipher = hex->size() % 2 == 0;
    for (char c : *hex) cipher = cipher && std::isxdigit(static_cast<unsigned char>(c)) != 0;
    if (!cipher) {
      Usage("password decrypt: \"" + *hex +
            "\" is not an enciphered password (an even number of hex digits)");
    }
    std::cout << U8(DecryptString(U16(*hex))) << "\n";
  });
  SetHelpFooter(encrypt, {"qnmuro password encrypt secret123"}, {"QNMURO_CODEPAGE"});
  SetHelpFooter(decrypt, {"qnmuro password decrypt 505A50"}, {"QNMURO_CODEPAGE"});
  SetHelpFooter(password, {"qnmuro password encrypt secret123", "qnmuro password decrypt 505A50"},
                {"QNMURO_CODEPAGE"});
}

}  // namespace qnmuro::cli
