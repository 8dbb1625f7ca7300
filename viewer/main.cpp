// Lumenpane, the viewer: placeholder until the viewer window exists.
int main()
{
    return 0;
}
