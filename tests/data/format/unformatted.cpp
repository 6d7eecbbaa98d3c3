// Deliberately not formatted: the format check must refuse this file.
int  Sample( int a ){return a+1;}
