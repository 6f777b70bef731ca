// Preloaded into sanitized test runs only. Mesa's driver is unloaded with dlclose()
// before LeakSanitizer reports, so its few lasting blocks show up as leaks from an
// unknown module that no suppression can name. Keeping every library loaded lets
// the report attribute them, and the suppressions file can then name the driver.
extern "C" int dlclose(void *)
{
    return 0;
}
