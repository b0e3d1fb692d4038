/* product.h: the product's files, as the setup reads them from its medium
 * and installs them, and as the medium tool lays them out and lists them.
 * One table for both programs, so the medium's list, the install run and
 * the documents cannot drift apart.
 */
#ifndef QVN_PRODUCT_H
#define QVN_PRODUCT_H

enum ProductFolder { kInstallFolder, kClipFolder };
/* kUnpack: a packed file on the medium, unpacked into its folder.
   kCopy: Brannic.dll, installed as it lies on the medium. */
enum ProductAction { kUnpack, kCopy };

/* The install plan, run in this order; step is the progress out of
   PRODUCT_STEPS reported after the row. */
struct ProductFile {
    const char *name;
    ProductFolder folder;
    ProductAction action;
    int step;
};

#define PRODUCT_STEPS 24
#define PRODUCT_BRANNIC "Brannic.dll"
/* The source of the pages' icon; never installed. */
#define PRODUCT_ICON_FILE "iQvn.exe"
/* The setup program, which carries the medium's list. */
#define PRODUCT_SETUP "InstallQvn.exe"
/* The two packed documents the pages show. */
#define PRODUCT_LICENSE "LicenseQvn.txt"
#define PRODUCT_READ_FIRST "ReadfirstQvn.txt"

static const ProductFile kProductPlan[] = {
    {"Ostrel.exe", kInstallFolder, kUnpack, 7},
    {"Ov.INI", kInstallFolder, kUnpack, 8},
    {"VELLSVR.exe", kInstallFolder, kUnpack, 10},
    {"KQSVR.exe", kInstallFolder, kUnpack, 11},
    {"OsGuide.pdf", kInstallFolder, kUnpack, 14},
    {PRODUCT_BRANNIC, kInstallFolder, kCopy, 15},
    {"KQ1.avi", kClipFolder, kUnpack, 17},
    {"KQ2.avi", kClipFolder, kUnpack, 19},
    {"KQ3.avi", kClipFolder, kUnpack, 21},
};
#define PRODUCT_PLAN_ROWS ((int)(sizeof kProductPlan / sizeof kProductPlan[0]))

static const char *const kProductDocuments[] = {PRODUCT_LICENSE, PRODUCT_READ_FIRST};

#endif
