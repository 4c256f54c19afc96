/* A C11 program that prints without a dialog would use the settings
 * interface like this: read, change, store, be refused, read the reason.
 * Exit status 0 when every check holds; each failed check is printed. */
#include <tarvel/pdc.h>
#include <tarvel/settings.h>

#include <stdio.h>
#include <string.h>

static int failures = 0;

#define CHECK(condition)                                                    \
    do {                                                                    \
        if (!(condition)) {                                                 \
            fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #condition); \
            ++failures;                                                     \
        }                                                                   \
    } while (0)

int main(void)
{
    TarvelSettings settings;
    TarvelSettings refused;
    TarvelSettings after;
    TarvelModel model;
    char text[256];
    char caption[64];
    WCHAR wide[256];

    CHECK(TarvelGetSettings(&settings) == 1);
    CHECK(strcmp(settings.devicePath, "/dev/usb/lp0") == 0);
    settings.printer = 1;
    settings.port = TARVEL_PORT_DEVICE;
    settings.colorMode = 0;
    strcpy(settings.devicePath, "/dev/lp0");
    CHECK(TarvelSetSettings(&settings) == 1);
    CHECK(PDC_GetDeviceCaps(PDC_GetPrinterDC(), LOGPIXELSX) == 360);

    refused = settings;
    refused.networkPort = 70000;
    refused.printer = 0;
    CHECK(TarvelSetSettings(&refused) == 0);
    CHECK(TarvelLastMessage(text, (int)sizeof text, caption, (int)sizeof caption) == TARVEL_MESSAGE_ERROR);
    CHECK(strstr(text, "networkPort 70000") != NULL && strstr(text, "1 to 65535") != NULL);
    CHECK(TarvelLastMessageW(wide, 256, NULL, 0) == TARVEL_MESSAGE_ERROR);
    CHECK(wide[0] == (WCHAR)'n');
    CHECK(TarvelGetSettings(&after) == 1);
    CHECK(after.printer == 1 && after.port == TARVEL_PORT_DEVICE && after.networkPort == settings.networkPort);
    CHECK(strcmp(after.devicePath, "/dev/lp0") == 0);

    CHECK(TarvelModelCount() == 7);
    CHECK(TarvelGetModel(6, &model) == 1 && model.resolution == 360 && strcmp(model.language, "canonbj") == 0);
    CHECK(TarvelGetModel(7, &model) == 0);
    CHECK(TarvelFailedPages() == 0);
    return failures == 0 ? 0 : 1;
}
