// Process entry point. The main window arrives with the window layer and the
// DirectUI library; until then the program starts and ends at once.
int main()
{
    return 0;
}
